#include "api/SIInterface.h"
