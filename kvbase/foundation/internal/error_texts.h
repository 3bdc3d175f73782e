#ifndef KVBASE_FOUNDATION_INTERNAL_ERROR_TEXTS_H
#define KVBASE_FOUNDATION_INTERNAL_ERROR_TEXTS_H

#include "kvbase/foundation/error_codes.h"

namespace kvbase::internal {

// The table text of `code`, or null when the code is not in the table.
const char* FindErrorText(K_ERRORS code);

// True when the table is in ascending code order (FindErrorText relies on it).
bool ErrorTextsAreSorted();

}  // namespace kvbase::internal

#endif  // KVBASE_FOUNDATION_INTERNAL_ERROR_TEXTS_H
