#include <gtest/gtest.h>

#include "registry/registry.h"
#include "support/temp_dir.h"

namespace qpx::reg {
namespace {

class RegistryTest : public ::testing::Test {
protected:
    qpx::testing::ScopedMachineRoot root_;
};

TEST_F(RegistryTest, ValuesOfEveryTypeRoundTripWithTheirExactBytes) {
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "SOFTWARE\\Calder\\Quoplex CD-ROM", k), kSuccess);
    ASSERT_EQ(k.set_string("Text", "D:\\a.qim;"), kSuccess);
    ASSERT_EQ(k.set_dword("Count", 0xA1B2C3D4u), kSuccess);
    ASSERT_EQ(k.set_multi_string("List", {"one", "two"}), kSuccess);
    const std::uint8_t bin[] = {0x01, 0x00, 0xFF};
    ASSERT_EQ(k.set("Bin", ValueType::Binary, bin), kSuccess);

    Value v;
    ASSERT_EQ(k.query("Text", v), kSuccess);
    EXPECT_EQ(v.type, ValueType::String);
    EXPECT_EQ(v.data.size(), 9u) << "strings are stored without their NUL";
    ASSERT_EQ(k.query("Count", v), kSuccess);
    EXPECT_EQ(v.type, ValueType::Dword);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0xD4, 0xC3, 0xB2, 0xA1})) << "little-endian";
    ASSERT_EQ(k.query("List", v), kSuccess);
    EXPECT_EQ(v.data.size(), 9u) << "one\\0two\\0\\0";
    ASSERT_EQ(k.query("Bin", v), kSuccess);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0x01, 0x00, 0xFF}));

    std::uint32_t d = 0;
    EXPECT_EQ(k.query_dword("count", d), kSuccess);
    EXPECT_EQ(d, 0xA1B2C3D4u);
    std::vector<std::string> items;
    EXPECT_EQ(k.query_multi_string("LIST", items), kSuccess);
    EXPECT_EQ(items, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(k.query_dword("Text", d), kInvalidParameter);
    EXPECT_EQ(k.query("Missing", v), kFileNotFound);

    // An empty string is a value of zero bytes, not a missing value.
    ASSERT_EQ(k.set_string("Empty", ""), kSuccess);
    ASSERT_EQ(k.query("Empty", v), kSuccess);
    EXPECT_TRUE(v.data.empty());
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\qpxmport", k), kSuccess);
    ASSERT_EQ(k.set_dword("NumberOfCDROMs", 4), kSuccess);
    ASSERT_EQ(k.set_dword("NUMBEROFCDROMS", 5), kSuccess) << "same value, rewritten";

    Key same;
    ASSERT_EQ(Key::open(Hive::LocalMachine, "system\\currentcontrolset\\SERVICES\\QPXMPORT", Access::Read, same),
              kSuccess);
    std::uint32_t n = 0;
    EXPECT_EQ(same.query_dword("NumberofCDROMs", n), kSuccess);
    EXPECT_EQ(n, 5u);
    std::string name;
    Value v;
    ASSERT_EQ(same.enum_value(0, name, v), kSuccess);
    EXPECT_EQ(name, "NumberOfCDROMs");
    EXPECT_EQ(same.enum_value(1, name, v), kNoMoreItems);

    Key parent;
    ASSERT_EQ(Key::open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services", Access::Read, parent), kSuccess);
    ASSERT_EQ(parent.enum_subkey(0, name), kSuccess);
    EXPECT_EQ(name, "qpxmport");
}

TEST_F(RegistryTest, EnumerationOrderIsStable) {
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "HARDWARE\\DEVICEMAP\\Scsi", k), kSuccess);
    for (const char* sub : {"Scsi Port 2", "scsi Port 0", "Scsi Port 1"}) {
        Key s;
        ASSERT_EQ(Key::create(Hive::LocalMachine, std::string("HARDWARE\\DEVICEMAP\\Scsi\\") + sub, s), kSuccess);
    }
    std::vector<std::string> names;
    ASSERT_EQ(k.subkey_names(names), kSuccess);
    EXPECT_EQ(names, (std::vector<std::string>{"scsi Port 0", "Scsi Port 1", "Scsi Port 2"}));
    std::string name;
    EXPECT_EQ(k.enum_subkey(2, name), kSuccess);
    EXPECT_EQ(name, "Scsi Port 2");
    EXPECT_EQ(k.enum_subkey(3, name), kNoMoreItems);

    for (const char* v : {"Zeta", "alpha", "Mid"}) ASSERT_EQ(k.set_dword(v, 1), kSuccess);
    ASSERT_EQ(k.set_dword("ALPHA", 2), kSuccess);  // rewriting keeps the place
    std::vector<std::string> order;
    Value val;
    for (std::uint32_t i = 0; k.enum_value(i, name, val) == kSuccess; ++i) order.push_back(name);
    EXPECT_EQ(order, (std::vector<std::string>{"Zeta", "alpha", "Mid"}));
}

TEST_F(RegistryTest, MissingKeysDeletionAndStaleHandles) {
    Key k;
    EXPECT_EQ(Key::open(Hive::LocalMachine, "SOFTWARE\\Nothing", Access::Read, k), kFileNotFound);
    EXPECT_FALSE(k.valid());

    Key parent, child;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "A\\B\\C", child), kSuccess);
    ASSERT_EQ(Key::open(Hive::LocalMachine, "A", Access::ReadWrite, parent), kSuccess);
    ASSERT_EQ(child.set_string("V", "x"), kSuccess);
    Key b;
    ASSERT_EQ(Key::open(Hive::LocalMachine, "A\\B", Access::ReadWrite, b), kSuccess);
    EXPECT_EQ(parent.delete_subkey("B"), kKeyHasSubkeys);
    EXPECT_EQ(b.delete_subkey("C"), kSuccess);
    EXPECT_EQ(child.set_string("V", "y"), kInvalidHandle) << "the key is gone";
    EXPECT_EQ(b.delete_value("Nope"), kFileNotFound);

    ASSERT_EQ(Key::create(Hive::LocalMachine, "A\\B\\C\\D", child), kSuccess);
    ASSERT_EQ(child.set_dword("X", 1), kSuccess);
    EXPECT_EQ(parent.delete_tree("b"), kSuccess);
    EXPECT_EQ(Key::open(Hive::LocalMachine, "A\\B\\C\\D", Access::Read, k), kFileNotFound);
}

TEST_F(RegistryTest, ReadHandlesAndProtectedKeysRefuseChanges) {
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\qpxmport", k), kSuccess);
    ASSERT_EQ(k.set_dword("NumberOfCDROMs", 2), kSuccess);
    Key reader;
    ASSERT_EQ(Key::open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\qpxmport", Access::Read, reader),
              kSuccess);
    EXPECT_EQ(reader.set_dword("NumberOfCDROMs", 3), kAccessDenied);

    ASSERT_EQ(k.set_protected(true), kSuccess);
    Key writer;
    EXPECT_EQ(Key::open(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\qpxmport", Access::ReadWrite,
                        writer),
              kAccessDenied);
    EXPECT_EQ(Key::create(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\qpxmport\\Sub", writer),
              kAccessDenied);
    EXPECT_EQ(k.set_dword("NumberOfCDROMs", 3), kAccessDenied);
    std::uint32_t n = 0;
    EXPECT_EQ(reader.query_dword("NumberOfCDROMs", n), kSuccess);
    EXPECT_EQ(n, 2u);
}

TEST_F(RegistryTest, HivesAreSeparate) {
    Key m, u;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "Software\\Norbeck", m), kSuccess);
    ASSERT_EQ(m.set_dword("Where", 1), kSuccess);
    EXPECT_EQ(Key::open(Hive::CurrentUser, "Software\\Norbeck", Access::Read, u), kFileNotFound);
}

TEST_F(RegistryTest, TransactionsCommitOrRollBackAsOne) {
    Key k;
    ASSERT_EQ(Key::create(Hive::LocalMachine, "T", k), kSuccess);
    {
        Transaction tx(Hive::LocalMachine);
        ASSERT_EQ(tx.status(), kSuccess);
        ASSERT_EQ(k.set_dword("A", 1), kSuccess);
        ASSERT_EQ(k.set_dword("B", 2), kSuccess);
        // no commit: both go
    }
    Value v;
    EXPECT_EQ(k.query("A", v), kFileNotFound);
    EXPECT_EQ(k.query("B", v), kFileNotFound);
    {
        Transaction outer(Hive::LocalMachine);
        {
            Transaction inner(Hive::LocalMachine);
            ASSERT_EQ(k.set_dword("A", 1), kSuccess);
            EXPECT_EQ(inner.commit(), kSuccess);
        }
        ASSERT_EQ(k.set_dword("B", 2), kSuccess);
        EXPECT_EQ(outer.commit(), kSuccess);
    }
    EXPECT_EQ(k.query("A", v), kSuccess);
    EXPECT_EQ(k.query("B", v), kSuccess);
}

}  // namespace
}  // namespace qpx::reg
