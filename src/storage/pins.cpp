#include "storage/pins.h"
