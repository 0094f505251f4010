#include "storage/notedates.h"
