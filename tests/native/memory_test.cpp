// The memory budget of a batch: files whose claims together would pass the limit take turns,
// and one that alone passes it still goes, when it is alone.
#include "cli/memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

TEST(MemoryBudget, FilesThatTogetherWouldPassTheLimitTakeTurns) {
    cli::MemoryBudget budget(100);
    std::atomic<bool> firstEnded{false}, secondWaited{false};
    auto first = std::make_unique<cli::MemoryBudget::Claim>(budget);
    first->GrowTo(30); // the file read
    first->GrowTo(60); // what converting it takes
    first->EndTurn();
    std::thread second([&] {
        cli::MemoryBudget::Claim claim(budget);
        claim.GrowTo(40); // fits beside the first
        claim.GrowTo(70); // does not: waits until the first has ended
        secondWaited = firstEnded.load();
        claim.EndTurn();
        claim.GrowTo(150); // alone now: more than the limit, and still granted
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // time for the second to try
    firstEnded = true;
    first.reset();
    second.join();
    EXPECT_TRUE(secondWaited);
}

} // namespace
