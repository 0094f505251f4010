#include "editor/listlineparser.h"
