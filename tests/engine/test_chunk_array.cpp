// The segmented array and the record heap: limits, stable addresses, truncation.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class ChunkArrayTest : public ::testing::Test {
protected:
    void SetUp() override { CountingAllocator::reset(); }
    GfxAllocator allocator = CountingAllocator::allocator();
};

TEST_F(ChunkArrayTest, ElementsNeverMoveAndTheLimitIsAnError)
{
    GfxChunkArray array;
    // 3 elements of 4 bytes per 12-byte chunk, at most 2 chunks: 6 elements.
    ASSERT_TRUE(gfxChunkArrayCreate(&array, allocator, 4, 12, 2));
    EXPECT_EQ(array.elementsPerChunk, 3);
    EXPECT_EQ(array.chunksAllocated, 1);
    std::vector<int32_t*> addresses;
    for (int32_t i = 0; i < 6; ++i) {
        ASSERT_EQ(gfxChunkArrayAppend(&array, &i), i);
        addresses.push_back(gfxChunkArrayGet<int32_t>(&array, i));
    }
    const int32_t seven = 7;
    EXPECT_EQ(gfxChunkArrayAppend(&array, &seven), -1);
    EXPECT_EQ(array.count, 6);
    EXPECT_EQ(array.cursor, 6);
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(gfxChunkArrayGet<int32_t>(&array, i), addresses[i]);
        EXPECT_EQ(*addresses[i], i);
    }
    gfxChunkArrayDestroy(&array);
    EXPECT_EQ(CountingAllocator::liveBytes, 0);
}

TEST_F(ChunkArrayTest, ElementsPerChunkIsIntegerDivision)
{
    GfxChunkArray array;
    ASSERT_TRUE(gfxChunkArrayCreate(&array, allocator, 12, 10000, 4));
    EXPECT_EQ(array.elementsPerChunk, 833);
    gfxChunkArrayDestroy(&array);
}

TEST_F(ChunkArrayTest, AppendAfterRewindOverwritesAndTruncateReleasesWholeChunks)
{
    GfxChunkArray array;
    ASSERT_TRUE(gfxChunkArrayCreate(&array, allocator, 4, 8, 10));
    for (int32_t i = 0; i < 7; ++i) gfxChunkArrayAppend(&array, &i);
    EXPECT_EQ(array.chunksAllocated, 4);
    array.cursor = 3;  // as an undo leaves it
    const int32_t fresh = 99;
    EXPECT_EQ(gfxChunkArrayAppend(&array, &fresh), 3);
    EXPECT_EQ(array.count, 4);
    EXPECT_EQ(*gfxChunkArrayGet<int32_t>(&array, 3), 99);

    const int64_t before = CountingAllocator::releases;
    gfxChunkArrayTruncate(&array, 3);  // elements 0..2: chunks 0 and 1 stay
    EXPECT_EQ(array.count, 3);
    EXPECT_EQ(array.cursor, 3);
    EXPECT_EQ(array.chunksAllocated, 2);
    EXPECT_EQ(CountingAllocator::releases - before, 2);
    gfxChunkArrayTruncate(&array, 0);
    EXPECT_EQ(array.chunksAllocated, 1);  // the first chunk always stays
    EXPECT_EQ(gfxChunkArrayAppend(&array, &fresh), 0);
    gfxChunkArrayDestroy(&array);
    EXPECT_EQ(CountingAllocator::liveBytes, 0);
}

TEST_F(ChunkArrayTest, FailedChunkAllocationChangesNothing)
{
    GfxChunkArray array;
    ASSERT_TRUE(gfxChunkArrayCreate(&array, allocator, 4, 8, 10));
    for (int32_t i = 0; i < 2; ++i) gfxChunkArrayAppend(&array, &i);
    CountingAllocator::failAfter = 0;
    const int32_t value = 5;
    EXPECT_EQ(gfxChunkArrayAppend(&array, &value), -1);
    EXPECT_EQ(array.count, 2);
    EXPECT_EQ(array.cursor, 2);
    CountingAllocator::failAfter = -1;
    EXPECT_EQ(gfxChunkArrayAppend(&array, &value), 2);
    gfxChunkArrayDestroy(&array);
}

TEST_F(ChunkArrayTest, CreationFailsCleanly)
{
    for (int64_t failAt : {0, 1}) {
        CountingAllocator::failAfter = failAt;
        GfxChunkArray array;
        EXPECT_FALSE(gfxChunkArrayCreate(&array, allocator, 4, 8, 10));
        EXPECT_EQ(CountingAllocator::liveBytes, 0);
    }
    GfxChunkArray array;
    CountingAllocator::failAfter = -1;
    EXPECT_FALSE(gfxChunkArrayCreate(&array, allocator, 16, 8, 10));  // chunk smaller than an element
}

TEST_F(ChunkArrayTest, HeapPayloadsNeverStraddleChunks)
{
    GfxRecordHeap heap;
    ASSERT_TRUE(gfxRecordHeapCreate(&heap, allocator));
    uint8_t block[6000] = {};
    GfxHeapPosition at;
    ASSERT_TRUE(gfxRecordHeapAppend(&heap, block, 6000, &at));
    EXPECT_EQ(at.chunk, 0);
    EXPECT_EQ(at.offset, 0);
    ASSERT_TRUE(gfxRecordHeapAppend(&heap, block, 4000, &at));  // exactly fills chunk 0
    EXPECT_EQ(at.chunk, 0);
    EXPECT_EQ(at.offset, 6000);
    ASSERT_TRUE(gfxRecordHeapAppend(&heap, block, 1, &at));
    EXPECT_EQ(at.chunk, 1);
    EXPECT_EQ(at.offset, 0);
    ASSERT_TRUE(gfxRecordHeapAppend(&heap, block, 5000, &at));
    ASSERT_TRUE(gfxRecordHeapAppend(&heap, block, 5000, &at));  // 5001 + 5000 > 10000: next chunk
    EXPECT_EQ(at.chunk, 2);
    EXPECT_EQ(at.offset, 0);
    EXPECT_EQ(heap.chunksAllocated, 3);

    uint8_t tooLarge[10001] = {};
    const GfxHeapPosition before = heap.write;
    EXPECT_FALSE(gfxRecordHeapAppend(&heap, tooLarge, 10001, &at));
    EXPECT_EQ(heap.write.chunk, before.chunk);
    EXPECT_EQ(heap.write.offset, before.offset);

    gfxRecordHeapTruncate(&heap, {1, 1});
    EXPECT_EQ(heap.chunksAllocated, 2);
    EXPECT_EQ(gfxRecordHeapBytesUsed(&heap), 10001);
    gfxRecordHeapDestroy(&heap);
    EXPECT_EQ(CountingAllocator::liveBytes, 0);
}

TEST_F(ChunkArrayTest, HeapStopsAtItsChunkLimit)
{
    GfxRecordHeap heap;
    ASSERT_TRUE(gfxRecordHeapCreate(&heap, allocator));
    heap.write = {GFX_HEAP_CHUNK_LIMIT - 1, GFX_HEAP_CHUNK_BYTES - 4};  // as if the table were full
    GfxHeapPosition at;
    EXPECT_FALSE(gfxRecordHeapPlace(&heap, 8, &at));
    EXPECT_TRUE(gfxRecordHeapPlace(&heap, 4, &at));
    heap.write = {0, 0};
    gfxRecordHeapDestroy(&heap);
}

TEST_F(ChunkArrayTest, RewindKeepsChunksForReuse)
{
    GfxRecordHeap heap;
    ASSERT_TRUE(gfxRecordHeapCreate(&heap, allocator));
    uint8_t block[9000] = {};
    GfxHeapPosition at;
    gfxRecordHeapAppend(&heap, block, 9000, &at);
    gfxRecordHeapAppend(&heap, block, 9000, &at);
    const int64_t allocationsBefore = CountingAllocator::allocations;
    gfxRecordHeapRewind(&heap, {0, 5000});
    EXPECT_EQ(heap.chunksAllocated, 2);
    gfxRecordHeapAppend(&heap, block, 9000, &at);  // goes to the kept chunk 1
    EXPECT_EQ(at.chunk, 1);
    EXPECT_EQ(CountingAllocator::allocations, allocationsBefore);
    gfxRecordHeapDestroy(&heap);
}

}  // namespace
