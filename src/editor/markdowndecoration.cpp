#include "editor/markdowndecoration.h"
