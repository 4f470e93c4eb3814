// Replaced by the test main.
