#include "core/quantize/error_share.h"

#include <algorithm>

#include "core/quantize/texture_map.h"

namespace quantize {
namespace {

// How many times the palette's entries halve from 256 to `entries` (0 for 129 and more).
int Halvings(int entries) {
    int halvings = 0;
    for (int n = 256; n / 2 >= entries && n > 2; n /= 2) {
        ++halvings;
    }
    return halvings;
}

// Of the error passed on, the 64ths kept at an agreement (per mille): all of it from 400 up,
// 49/64 at 250 and below, in a straight line between.
int KeptInTexture(int agreement) {
    if (agreement >= 400) {
        return 64;
    }
    return 49 + (64 - 49) * std::max(agreement - 250, 0) / (400 - 250);
}

// Calls f(class, context) for every class and size of error.
template <typename F> void ForEveryContext(F f) {
    for (int c = 0; c < kClasses; ++c) {
        for (int size = 0; size < kErrorSizes; ++size) {
            f(c, PixelContext{(c & kHeldMark) != 0, (c & kFlatMark) != 0, (c & kSmoothMark) != 0,
                              size});
        }
    }
}

} // namespace

// Each rule is one line. The figures come from measurements on the bench's photographs and
// graphics against pngquant, ImageMagick and Pillow (PSNR, PSNR after a slight blur, SSIM).
ErrorShare PolicyFor(const DitherSettings& settings, const PixelContext& pixel) {
    const int halvings = Halvings(settings.entries);
    const bool few = halvings >= 2; // 64 entries or fewer, which lie far apart
    // Held entries: a pixel whose own colour is an entry takes it and passes nothing on, so
    // that a flat area the palette holds stays flat up to its edges.
    if (pixel.held) {
        return {0, 64};
    }
    // Dead zone: within two levels of its entry (the channels' differences added up), in a
    // gradient the palette nearly holds, an error would only scatter dots over exact colours.
    if (pixel.size <= 2) {
        return {0, 64};
    }
    // Palette size: 48/64 (12/16) of the error with more than 128 entries, which keeps the
    // noise down where the entries lie far apart at little cost to the mean colour; 2.5/64
    // less for each halving below (43/64 for 64 entries, 38/64 for 16).
    int share = 48 - 5 * halvings / 2;
    // Flat stretches (more than 64 entries): a pixel equal to both its neighbours passes on
    // 54/64, less 2.5/64 for each halving, which keeps the mean colour of a flat or slowly
    // changing area where a palette that cannot hold the gradient would show bands (pastel
    // hills: PSNR after a slight blur +0.55 dB for -0.54 dB of plain PSNR).
    share = !few && pixel.flat ? 54 - 5 * halvings / 2 : share;
    // Smooth stretches (64 entries or fewer): a gradient with a little noise in it bands as a
    // flat area would, so a smooth pixel passes on 56/64 less 1/64 for each halving (54/64
    // for 64 entries, 52/64 for 16; PSNR after a slight blur 0 to 0.9 dB higher).
    share = few && pixel.smooth ? 56 - halvings : share;
    // Own share (a kernel that drops part of every error itself, as Atkinson's drops a
    // quarter): what its taps pass on stands for the palette size and the stretches, on top
    // of which it would pass on 36/64 or less and lose the mean colour (PSNR after a slight
    // blur 0.3 to 1.4 dB lower, for 0.2 to 0.8 dB of plain PSNR).
    share = settings.kernelShare < 64 ? 64 : share;
    // Strength: the user's share of all that, in percent, rounded to a 64th.
    share = (share * std::clamp(settings.strength, 0, 100) + 50) / 100;
    // Texture (more than 128 entries): where the palette follows fine texture all over the
    // image (few pixels take the entry of the one before them), the error adds more noise than
    // it keeps colour: from an agreement of 40 % down to 25 % less is passed on, to 49/64 of it
    // (four photographs change: +0.20 to +0.47 dB PSNR, -0.11 to -0.83 dB after a blur).
    share = halvings == 0 ? (share * KeptInTexture(settings.agreement) + 32) / 64 : share;
    // Damping (more than 64 entries): an error larger than 48, 24 more for each halving, comes
    // from an edge or fine texture the palette cannot follow; passed on whole it leaves bright
    // dots beside it, so three quarters of it is passed on. With 64 entries or fewer the full
    // errors of edges keep the mean colour of the areas beside them.
    const int then = !few && pixel.size > 48 + 24 * halvings ? 48 : 64;
    return {share, then};
}

void ShareTable::Take(const DitherSettings& settings, Policy policy) {
    ForEveryContext([&](int c, const PixelContext& pixel) {
        const ErrorShare share = policy(settings, pixel);
        shares_[static_cast<std::size_t>(c * kErrorSizes + pixel.size)] = {
            std::clamp(share.first, 0, 64), std::clamp(share.then, 0, 64)};
    });
    for (int c = 0; c < kClasses; ++c) {
        int none = -1;
        while (none + 1 < kErrorSizes && At(c, none + 1).first == 0) {
            ++none;
        }
        const ErrorShare usual = {none + 1 < kErrorSizes ? At(c, none + 1).first : 0, 64};
        int upTo = none;
        while (upTo + 1 < kErrorSizes && At(c, upTo + 1) == usual) {
            ++upTo;
        }
        int then = upTo + 1 < kErrorSizes ? At(c, upTo + 1).then : 64;
        for (int size = upTo + 1; size < kErrorSizes && then >= 0; ++size) {
            then = At(c, size) == ErrorShare{usual.first, then} ? then : -1;
        }
        usual_[c] = {static_cast<std::int16_t>(usual.first), static_cast<std::int16_t>(none),
                     static_cast<std::int16_t>(upTo), static_cast<std::int16_t>(then)};
    }
}

bool ShareTable::Reads(int mark) const {
    bool reads = false;
    ForEveryContext([&](int c, const PixelContext& pixel) {
        reads = reads || !(At(c, pixel.size) == At(c | mark, pixel.size));
    });
    return reads;
}

bool ReadsAgreement(const DitherSettings& settings, Policy policy) {
    DitherSettings least = settings, most = settings;
    least.agreement = 0;
    most.agreement = 1000;
    bool reads = false;
    ForEveryContext([&](int, const PixelContext& pixel) {
        reads = reads || !(policy(least, pixel) == policy(most, pixel));
    });
    return reads;
}

} // namespace quantize
