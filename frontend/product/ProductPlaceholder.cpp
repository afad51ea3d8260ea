// Keeps vantrel_product non-empty until its units land.
