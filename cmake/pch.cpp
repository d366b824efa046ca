// Carrier of the precompiled header that the core libraries and tests reuse.
