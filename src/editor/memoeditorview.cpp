#include "editor/memoeditorview.h"
