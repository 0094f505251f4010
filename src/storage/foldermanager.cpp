#include "storage/foldermanager.h"
