#include "editor/textsearch.h"
