#include "editor/maceditorview.h"
