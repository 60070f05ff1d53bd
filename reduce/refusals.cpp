#include "reduce/refusals.h"

#include "res/texts.h"

namespace reduce {

Refusal RefusalOf(ExactOutcome outcome) {
    switch (outcome) {
    case ExactOutcome::NotTrueColour:
        return {kAlready256Text, RefusalKind::AlreadyIndexed};
    case ExactOutcome::TooManyColours:
        return {kTooManyColoursText, RefusalKind::Refused};
    case ExactOutcome::UnsupportedLayout:
        return {kUnsupportedLayoutText, RefusalKind::Refused};
    case ExactOutcome::Truncated:
        return {kTruncatedImageText, RefusalKind::Refused};
    case ExactOutcome::NoMemory:
    case ExactOutcome::Converted:
        break;
    }
    return {kNoMemoryText, RefusalKind::NoMemory};
}

Refusal RefusalOf(DiffusionOutcome outcome) {
    switch (outcome) {
    case DiffusionOutcome::NotTrueColour:
        return RefusalOf(ExactOutcome::NotTrueColour);
    case DiffusionOutcome::UnsupportedLayout:
        return RefusalOf(ExactOutcome::UnsupportedLayout);
    case DiffusionOutcome::Truncated:
        return RefusalOf(ExactOutcome::Truncated);
    case DiffusionOutcome::NoMemory:
    case DiffusionOutcome::Converted:
        break;
    }
    return RefusalOf(ExactOutcome::NoMemory);
}

} // namespace reduce
