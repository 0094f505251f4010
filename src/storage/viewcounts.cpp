#include "storage/viewcounts.h"
