// Keeps the testsupport library non-empty while its helpers are header-only.
