#include "storage/notedocument.h"
