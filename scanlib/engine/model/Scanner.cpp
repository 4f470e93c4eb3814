#include "engine/model/Scanner.h"

void Scanner::SetReadLine(int) {}

Property* Scanner::FindOwnProperty(uint16_t id) { return FindProperty(id); }

Property* Scanner::FindUpstreamProperty(uint16_t) { return nullptr; }

void Scanner::GetDataDirectory(std::string& path) { path = "C:\\"; }

int Scanner::GetButtonStatus(int, int*) { return SI_ERR_INVALID_PARAMETER; }

bool Scanner::GetBoardVersionOverride(uint32_t*) { return false; }

void Scanner::AdjustPageLength(uint32_t*) {}
