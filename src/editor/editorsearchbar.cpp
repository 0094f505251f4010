#include "editor/editorsearchbar.h"
