// Makes the test programs' precompiled header; it has no code of its own.
