#include <gtest/gtest.h>

#include <vector>

#include "TolmFsLibHash.h"
#include "TolmFsLibLru.h"
#include "TolmVldb.h"

namespace {

struct Item {
    LruEntry lru;
    HashEntry hash;
    uint32_t id;
};

uint32_t idHash(const void* key) {
    return *static_cast<const uint32_t*>(key) & 0x3FF;
}
bool idMatch(const void* key, const void* data) {
    return *static_cast<const uint32_t*>(key) == static_cast<const Item*>(data)->id;
}

TEST(TolmFsLibHashFunctions, NamesHashFromTheirLastCharacterAsSignedBytes) {
    // h = h * 31 + ch - 31 from the last character to the first, low 10 bits.
    EXPECT_EQ(66u, TolmVldb::hashVfsName("a"));      // 97 - 31
    EXPECT_EQ(95u, TolmVldb::hashVfsName("ab"));     // (98 - 31) * 31 + 97 - 31 = 2143
    EXPECT_EQ(970u, TolmVldb::hashVfsName("\xe9"));  // -23 - 31 = -54 = 0xFFFFFFCA
    EXPECT_EQ(0u, TolmVldb::hashVfsName(""));
    uint32_t id = 0x12345;
    EXPECT_EQ(0x345u, TolmVldb::hashId(&id));
    Vfs2Dblade v = {};
    snprintf(v.vfsName, sizeof v.vfsName, "%s", "tolm.stats_");
    v.vfsId = 7;
    EXPECT_TRUE(TolmVldb::matchVfsName("tolm.stats_", &v));
    EXPECT_FALSE(TolmVldb::matchVfsName("tolm.stats", &v));
    uint32_t seven = 7;
    EXPECT_TRUE(TolmVldb::matchVfsId(&seven, &v));
}

TEST(TolmFsLibLru, HandsOutTheHeadAndTakesEntriesBackAtTheTail) {
    TolmFsLibLru lru;
    ASSERT_TRUE(lru.create(4, sizeof(Item), nullptr));
    std::vector<LruEntry*> e;
    for (uint32_t i = 0; i < 4; i++) {
        e.push_back(lru.entryAt(i));
        EXPECT_EQ(1u, e[i]->inLru);
    }
    // Each entry was put in front of the ones before it: the last comes first.
    LruEntry* first = lru.popLru();
    EXPECT_EQ(e[3], first);
    EXPECT_EQ(nullptr, first->next);
    EXPECT_EQ(0u, first->inLru);
    lru.pushLru(first);  // now 2 1 0 3
    EXPECT_EQ(1u, first->inLru);
    lru.deleteEntry(e[1]);  // 2 0 3
    EXPECT_EQ(0u, e[1]->inLru);
    lru.pushLruAtTop(e[1]);  // 1 2 0 3
    std::vector<LruEntry*> order;
    while (LruEntry* p = lru.popLru())
        order.push_back(p);
    EXPECT_EQ((std::vector<LruEntry*>{e[1], e[2], e[0], e[3]}), order);
    EXPECT_EQ(nullptr, lru.popLru());
}

TEST(TolmFsLibLruDeathTest, PushingOntoAnEmptyListIsFatal) {
    TolmFsLibLru lru;
    ASSERT_TRUE(lru.create(1, sizeof(Item), nullptr));
    LruEntry* only = lru.popLru();
    EXPECT_DEATH(lru.pushLru(only), "_lruList != __null");
    lru.pushLruAtTop(only);
    LruEntry stray = {nullptr, 0};
    EXPECT_DEATH(lru.deleteEntry(&stray), "key->inLru");
}

TEST(TolmFsLibHash, ChainsShareABucketAndEntriesLeaveCleanly) {
    TolmFsLibHash hash;
    ASSERT_TRUE(hash.create(1024, nullptr));
    // Three ids in bucket 1.
    Item items[3] = {};
    items[0].id = 1;
    items[1].id = 1025;
    items[2].id = 2049;
    for (Item& it : items)
        hash.insertEntry(&it.id, &it, &it.hash, idHash);
    for (Item& it : items) {
        HashEntry* found = hash.findEntry(&it.id, idHash, idMatch);
        ASSERT_NE(nullptr, found);
        EXPECT_EQ(&it, found->data);
        EXPECT_EQ(1u, found->valid);
    }
    uint32_t missing = 3073;
    EXPECT_EQ(nullptr, hash.findEntry(&missing, idHash, idMatch));
    EXPECT_EQ(4u, hash.numLookups());
    EXPECT_EQ(3u, hash.numHits());

    // Out of the middle of the chain: the others are still found.
    EXPECT_EQ(0, hash.deleteEntry(&items[1].hash));
    EXPECT_EQ(0u, items[1].hash.valid);
    EXPECT_EQ(nullptr, items[1].hash.startOfBucket);
    EXPECT_EQ(nullptr, hash.findEntry(&items[1].id, idHash, idMatch));
    EXPECT_NE(nullptr, hash.findEntry(&items[0].id, idHash, idMatch));
    EXPECT_NE(nullptr, hash.findEntry(&items[2].id, idHash, idMatch));
    // An entry in no bucket is left alone; an unknown key is -1.
    EXPECT_EQ(0, hash.deleteEntry(&items[1].hash));
    EXPECT_EQ(-1, hash.deleteEntryByKey(&missing, idHash, idMatch));
    EXPECT_EQ(0, hash.deleteEntryByKey(&items[2].id, idHash, idMatch));
    EXPECT_EQ(0, hash.deleteEntryByKey(&items[0].id, idHash, idMatch));
    EXPECT_EQ(nullptr, hash.findEntry(&items[0].id, idHash, idMatch));
    // An entry whose bucket was emptied behind its back.
    hash.insertEntry(&items[0].id, &items[0], &items[0].hash, idHash);
    *items[0].hash.startOfBucket = nullptr;
    EXPECT_EQ(-1, hash.deleteEntry(&items[0].hash));
}

}  // namespace
