#include "editor/dayleaftextview.h"
