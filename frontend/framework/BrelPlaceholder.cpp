// Keeps brelframework non-empty until its units land.
