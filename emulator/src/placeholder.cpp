// Replaced as the emulator grows.
