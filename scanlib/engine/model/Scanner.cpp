#include "engine/model/Scanner.h"

int Scanner::GetButtonStatus(int, int*) { return SI_ERR_INVALID_PARAMETER; }
