#include "composition.h"
