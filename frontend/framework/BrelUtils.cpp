#include "BrelUtils.h"
