#include "engine/core/krvHeaderObj.h"

#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>

TEST(HeaderObj, WriterListKeepsCopies) {
    TCompHeaderObj list;
    EXPECT_EQ(list.RecordSize(), 24U);
    std::uint8_t header[24];
    for (int i = 0; i < 24; ++i)
        header[i] = static_cast<std::uint8_t>(i);
    const char extra[] = "extra";
    list.Add(header, "dir/a.txt", 1, extra, 5);
    header[0] = 99; // the list holds its own copy
    list.Add(header, "b.txt", 3, nullptr, 0);
    list.AddRaw(header);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.GetHeader(0)[0], 0);
    EXPECT_EQ(list.GetHeader(0)[23], 23);
    EXPECT_EQ(list.GetHeader(1)[0], 99);
    EXPECT_EQ(std::string(list.GetExtra(0).begin(), list.GetExtra(0).end()), "extra");
    EXPECT_TRUE(list.GetExtra(1).empty());
    EXPECT_EQ(list.Name(0), "dir/a.txt");
    EXPECT_EQ(list.Value(1), 3);
    EXPECT_EQ(list.Name(2), "");
    list.SetValue(0, 2);
    list.SetName(1, "c.txt");
    EXPECT_EQ(list.Value(0), 2);
    EXPECT_EQ(list.Name(1), "c.txt");
    EXPECT_THROW(list.GetHeader(3), std::out_of_range);
    EXPECT_THROW(list.Name(-1), std::out_of_range);

    list.WorkBuffer.resize(100);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.WorkBuffer.empty());

    // A writer with a larger header sets its own record size.
    list.Init(46);
    std::uint8_t central[46] = {};
    central[45] = 7;
    list.Add(central, "z", 0, nullptr, 0);
    EXPECT_EQ(list.GetHeader(0)[45], 7);
    list.Done();
    EXPECT_EQ(list.Count(), 0);
}

TEST(HeaderObj, ReaderList) {
    TUnBaseHeaderObj list;
    EXPECT_EQ(list.RecordSize(), 10U);
    const std::uint8_t record[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::uint8_t extra[3] = {7, 8, 9};
    list.Add(record, extra, 3);
    list.Add(record, nullptr, 0);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(std::memcmp(list.GetHeader(1), record, 10), 0);
    EXPECT_EQ(list.GetExtra(0).size(), 3U);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}
