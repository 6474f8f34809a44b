// Batch-script generators (to come).
