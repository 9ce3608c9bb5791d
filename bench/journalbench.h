#pragma once

// The print journal at scale: a journal of the given number of entries, then an
// entry appended, the same-day check, the journal window opened and searched.
// Prints a table and its targets; returns 1 when something came out wrong.
int journalBenchmark(int entries, bool smoke);
