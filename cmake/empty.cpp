// Keeps the test helper library non-empty before any helper exists.
