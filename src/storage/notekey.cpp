#include "storage/notekey.h"
