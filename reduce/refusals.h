// Why a conversion did not happen, in the program's words, for both front ends.
// Portable: no platform headers.
#pragma once

#include "reduce/error_diffusion.h"
#include "reduce/exact_reduction.h"

namespace reduce {

enum class RefusalKind {
    AlreadyIndexed, // nothing to do: the image already has a colour table
    Refused,        // the image cannot be converted
    NoMemory,       // memory ran out; the image is unchanged
};

struct Refusal {
    const char* text;
    RefusalKind kind;
};

// The message for an outcome other than Converted.
Refusal RefusalOf(ExactOutcome outcome);
Refusal RefusalOf(DiffusionOutcome outcome);

} // namespace reduce
