#include "storage/sortmode.h"
