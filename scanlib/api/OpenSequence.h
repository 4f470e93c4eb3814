// Opening the interface: the model by name from the factory list, its port,
// the chain and the two named locks. Every failure closes what it opened.
#pragma once

#include <SIInterface.h>

#include <memory>
#include <string>

class Scanner;

// Makes the model for the interface name and opens it on a port of the kind
// the name selects ("__" at the end: usbscan, else Still Image). 0, 10 (no
// factory makes the model) or 11 (no device). Device exceptions pass.
SIResult OpenScannerByName(const std::string& interfaceName, std::unique_ptr<Scanner>& scanner);

// The interface name without the direct-port suffix: the base of the lock names.
std::string LockBaseName(const std::string& interfaceName);

// The whole open sequence on the library state (after the already-open and
// null checks).
SIResult RunOpenSequence(const char* interfaceName);
