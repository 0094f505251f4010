#include "storage/memomanager.h"
