#pragma once

#include "physics/contact_record.h"

// Thins the records to at most n (at least 1): in order of increasing x,
// each point within tol of a point kept before it is dropped until n
// remain; a sweep that ends with more doubles tol and runs again. The
// survivors keep their order. Returns their number.
// marks, when given, moves along with the records.
int phThinContacts(phContactRecord* records, int count, int n, float tol, unsigned char* marks = nullptr);
