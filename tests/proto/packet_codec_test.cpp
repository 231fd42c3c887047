#include "proto/packet_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using host::Blob;
using host::DataPacket;
using host::FieldType;
using host::RowStatus;
using host::TDateTime;
using host::Variant;
using ore::proto::PacketAssembler;
using ore::proto::PacketCodecError;

DataPacket everyType() {
    DataPacket packet;
    packet.fields = {{"NAME", FieldType::String, 50},  {"SEQ", FieldType::FixedString, 2},
                     {"COUNT", FieldType::Integer, 0}, {"PRICE", FieldType::Float, 0},
                     {"WHEN", FieldType::DateTime, 0}, {"NOTE", FieldType::Blob, 0}};
    packet.rows = {
        {Variant("Ação Ltda"), Variant("00"), Variant(std::int64_t{-42}), Variant(1234.5678),
         Variant(TDateTime{45123.75}), Variant(Blob{std::string("a\0b", 3)})},
        {Variant(), Variant(), Variant(), Variant(), Variant(), Variant()},
        {Variant(""), Variant("01"), Variant(std::int64_t{9007199254740993}), Variant(-0.0),
         Variant(TDateTime{-1.5}), Variant(Blob{""})},
    };
    return packet;
}

DataPacket roundTrip(const DataPacket& packet) {
    ORE06100::Packet message;
    ore::proto::encodePacket(packet, message);
    ORE06100::Packet parsed;
    EXPECT_TRUE(parsed.ParseFromString(message.SerializeAsString()));
    return ore::proto::decodePacket(parsed);
}

TEST(PacketCodec, EveryTypeAndNullSurvivesTheRoundTrip) {
    const DataPacket packet = everyType();
    EXPECT_EQ(roundTrip(packet), packet);
}

TEST(PacketCodec, EmptyPacketKeepsItsFields) {
    DataPacket packet = everyType();
    packet.rows.clear();
    const DataPacket back = roundTrip(packet);
    EXPECT_EQ(back.fields, packet.fields);
    EXPECT_TRUE(back.rows.empty());
    EXPECT_FALSE(back.IsDelta());
}

TEST(PacketCodec, PacketWithoutFields) {
    EXPECT_EQ(roundTrip(DataPacket{}), DataPacket{});
}

TEST(PacketCodec, DeltaKeepsRowStates) {
    DataPacket delta = everyType();
    delta.rowStatus = {RowStatus::Unmodified, RowStatus::Modified, RowStatus::Deleted};
    EXPECT_EQ(roundTrip(delta), delta);
}

TEST(PacketCodec, CellsAreWrittenAsTheirFieldAsks) {
    DataPacket packet;
    packet.fields = {{"CODE", FieldType::String, 10},
                     {"QTY", FieldType::Float, 0},
                     {"N", FieldType::Integer, 0},
                     {"MEMO", FieldType::Blob, 0}};
    packet.rows = {
        {Variant(std::int64_t{12}), Variant(std::int64_t{3}), Variant("7"), Variant("texto")}};
    const DataPacket back = roundTrip(packet);
    EXPECT_EQ(back.rows[0][0], Variant("12"));
    EXPECT_EQ(back.rows[0][1], Variant(3.0));
    EXPECT_EQ(back.rows[0][2], Variant(std::int64_t{7}));
    EXPECT_EQ(back.rows[0][3], Variant(Blob{"texto"}));
}

TEST(PacketCodec, ColumnsAreStoredOncePerField) {
    DataPacket packet;
    packet.fields = {{"A", FieldType::String, 10}, {"B", FieldType::Float, 0}};
    for (int row = 0; row < 1000; ++row) {
        packet.rows.push_back({Variant(std::to_string(row)), Variant(row * 1.5)});
    }
    ORE06100::Packet message;
    ore::proto::encodePacket(packet, message);
    ASSERT_EQ(message.columns_size(), 2);
    EXPECT_EQ(message.columns(0).text_lengths_size(), 1000);
    EXPECT_EQ(message.columns(1).numbers_size(), 1000);
    EXPECT_TRUE(message.columns(0).nulls().empty());
}

TEST(PacketCodec, UnencodableCellsAreRefusedWithTheirPlace) {
    struct Case {
        const char* name;
        FieldType type;
        Variant value;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"text in a float", FieldType::Float, Variant("abc"),
         "Valor inválido no campo F do registro 1: "},
        {"array in a string", FieldType::String, host::VarArrayOf({Variant(1)}),
         "Valor inválido no campo F do registro 1: listas e pacotes não cabem num campo."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        DataPacket packet;
        packet.fields = {{"F", test.type, 0}};
        packet.rows = {{test.value}};
        ORE06100::Packet message;
        try {
            ore::proto::encodePacket(packet, message);
            FAIL() << "no error";
        } catch (const PacketCodecError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(test.text, 0), 0u) << error.what();
        }
    }
}

TEST(PacketCodec, RowOfTheWrongWidthIsRefused) {
    DataPacket packet;
    packet.fields = {{"A", FieldType::String, 1}, {"B", FieldType::String, 1}};
    packet.rows = {{Variant("x")}};
    ORE06100::Packet message;
    EXPECT_THROW(ore::proto::encodePacket(packet, message), PacketCodecError);
}

TEST(PacketCodec, MalformedMessagesAreRefused) {
    ORE06100::Packet good;
    ore::proto::encodePacket(everyType(), good);
    struct Case {
        const char* name;
        void (*spoil)(ORE06100::Packet&);
    };
    const std::vector<Case> cases = {
        {"missing column", [](ORE06100::Packet& m) { m.mutable_columns()->RemoveLast(); }},
        {"short null map", [](ORE06100::Packet& m) { m.mutable_columns(0)->set_nulls(""); }},
        {"lost value",
         [](ORE06100::Packet& m) { m.mutable_columns(3)->mutable_numbers()->RemoveLast(); }},
        {"extra value", [](ORE06100::Packet& m) { m.mutable_columns(2)->add_integers(1); }},
        {"truncated text",
         [](ORE06100::Packet& m) { m.mutable_columns(0)->mutable_text()->pop_back(); }},
        {"overlong length",
         [](ORE06100::Packet& m) { m.mutable_columns(0)->set_text_lengths(0, 1000); }},
        {"unknown kind",
         [](ORE06100::Packet& m) {
             m.mutable_fields(0)->set_kind(static_cast<ORE06100::FieldKind>(77));
         }},
        {"states for some rows",
         [](ORE06100::Packet& m) { m.add_row_states(ORE06100::ROW_DELETED); }},
        {"more rows than values", [](ORE06100::Packet& m) { m.set_row_count(4); }},
        {"four billion rows", [](ORE06100::Packet& m) { m.set_row_count(4'000'000'000U); }},
        {"rows without fields",
         [](ORE06100::Packet& m) {
             m.clear_fields();
             m.clear_columns();
             m.set_row_count(4'000'000'000U);
         }},
        {"field twice", [](ORE06100::Packet& m) { m.mutable_fields(1)->set_name("NAME"); }},
        {"field without name", [](ORE06100::Packet& m) { m.mutable_fields(1)->set_name(""); }},
        {"field name not UTF-8",
         [](ORE06100::Packet& m) { m.mutable_fields(1)->set_name("S\xC3Q"); }},
        {"text in a number column",
         [](ORE06100::Packet& m) {
             m.mutable_columns(3)->set_text("1");
             m.mutable_columns(3)->add_text_lengths(1);
         }},
        {"lengths adding up past the text",
         [](ORE06100::Packet& m) {
             m.mutable_columns(0)->set_text_lengths(0, 4'000'000'000U);
             m.mutable_columns(0)->set_text_lengths(1, 4'000'000'000U);
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ORE06100::Packet bad = good;
        test.spoil(bad);
        EXPECT_THROW(ore::proto::decodePacket(bad), PacketCodecError);
    }
}

// One text field, every row null: the cheapest way to claim many rows.
ORE06100::Packet nullRows(std::uint32_t rows) {
    ORE06100::Packet message;
    ORE06100::FieldDefinition& field = *message.add_fields();
    field.set_name("CDFILIAL");
    field.set_size(4);
    message.set_row_count(rows);
    message.add_columns()->set_nulls(std::string((rows + 7) / 8, '\xFF'));
    return message;
}

TEST(PacketCodec, LimitsBoundThePacketBeforeItIsBuilt) {
    const ore::proto::DecodeLimits& limits = ore::proto::requestLimits;
    EXPECT_EQ(ore::proto::decodePacket(nullRows(10000), limits).rows.size(), 10000u);
    try {
        ore::proto::decodePacket(nullRows(10001), limits);
        ADD_FAILURE() << "accepted";
    } catch (const PacketCodecError& error) {
        EXPECT_STREQ(error.what(), "Pacote de dados inválido: mais de 10000 registros.");
    }

    // Over chunks the rows add up.
    PacketAssembler assembler(limits);
    assembler.add(nullRows(6000));
    ORE06100::Packet next = nullRows(6000);
    next.clear_fields();
    EXPECT_THROW(assembler.add(next), PacketCodecError);

    ORE06100::Packet wide = nullRows(1);
    wide.mutable_columns(0)->clear_nulls();
    wide.mutable_columns(0)->set_text(std::string(limits.maxValueBytes + 1, 'x'));
    wide.mutable_columns(0)->add_text_lengths(static_cast<std::uint32_t>(limits.maxValueBytes + 1));
    EXPECT_THROW(ore::proto::decodePacket(wide, limits), PacketCodecError);
    EXPECT_EQ(ore::proto::decodePacket(wide).rows.size(), 1u);
}

DataPacket largeList(int rows) {
    DataPacket packet;
    packet.fields = {{"NRORCAEVENTO", FieldType::String, 10},
                     {"NMFANTCLIE", FieldType::String, 50},
                     {"QTCONVORCEVE", FieldType::Float, 0},
                     {"DTHRENTROREV", FieldType::DateTime, 0}};
    for (int row = 0; row < rows; ++row) {
        packet.rows.push_back(
            {Variant(std::to_string(1000000000 + row)),
             row % 7 == 0 ? Variant() : Variant("Cliente número " + std::to_string(row)),
             Variant(row * 0.25), Variant(TDateTime{45000.0 + row / 24.0})});
    }
    return packet;
}

TEST(PacketCodec, LargePacketTravelsInBoundedChunksAndIsReassembled) {
    const DataPacket packet = largeList(20000);
    constexpr std::size_t limit = 64 * 1024;
    std::vector<std::string> wire;
    ASSERT_TRUE(ore::proto::encodeChunks(packet, limit, [&](ORE06100::Packet& chunk) {
        wire.push_back(chunk.SerializeAsString());
        return true;
    }));
    ASSERT_GT(wire.size(), 5u);
    PacketAssembler assembler;
    for (std::size_t index = 0; index < wire.size(); ++index) {
        EXPECT_LE(wire[index].size(), 2 * limit) << "chunk " << index;
        ORE06100::Packet chunk;
        ASSERT_TRUE(chunk.ParseFromString(wire[index]));
        EXPECT_EQ(chunk.fields_size() > 0, index == 0) << "chunk " << index;
        assembler.add(chunk);
    }
    EXPECT_EQ(assembler.take(), packet);
}

TEST(PacketCodec, WideRowsFurtherOnShrinkTheChunks) {
    DataPacket packet = largeList(2000);
    for (std::size_t row = 1000; row < packet.rows.size(); ++row) {
        packet.rows[row][1] = Variant(std::string(5000, 'x'));
    }
    constexpr std::size_t limit = 32 * 1024;
    PacketAssembler assembler;
    ore::proto::encodeChunks(packet, limit, [&](ORE06100::Packet& chunk) {
        EXPECT_LE(chunk.ByteSizeLong(), 2 * limit);
        assembler.add(chunk);
        return true;
    });
    EXPECT_EQ(assembler.take(), packet);
}

TEST(PacketCodec, EmptyPacketIsOneChunkWithItsFields) {
    DataPacket packet = largeList(0);
    int chunks = 0;
    PacketAssembler assembler;
    ore::proto::encodeChunks(packet, 1024, [&](ORE06100::Packet& chunk) {
        ++chunks;
        assembler.add(chunk);
        return true;
    });
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(assembler.take(), packet);
}

TEST(PacketCodec, SinkCanStopTheStream) {
    int chunks = 0;
    EXPECT_FALSE(ore::proto::encodeChunks(largeList(5000), 4096, [&](ORE06100::Packet&) {
        ++chunks;
        return false;
    }));
    EXPECT_EQ(chunks, 1);
}

TEST(PacketCodec, AssemblerRefusesFieldsInALaterChunk) {
    ORE06100::Packet first;
    ore::proto::encodePacket(largeList(3), first);
    PacketAssembler assembler;
    assembler.add(first);
    EXPECT_THROW(assembler.add(first), PacketCodecError);
}

TEST(PacketCodec, ChunksOfOddSizesAssembleByColumnWithEveryNullInPlace) {
    DataPacket packet;
    packet.fields = everyType().fields;
    for (int copy = 0; copy < 50; ++copy) {
        for (const auto& row : everyType().rows) {
            packet.rows.push_back(row);
            packet.rowStatus.push_back(copy % 2 == 0 ? RowStatus::Inserted : RowStatus::Deleted);
        }
    }
    packet.rows[77][0] = Variant("no meio");
    PacketAssembler assembler;
    int chunks = 0;
    ore::proto::encodeChunks(packet, 150, [&](ORE06100::Packet& chunk) {
        ORE06100::Packet parsed;
        EXPECT_TRUE(parsed.ParseFromString(chunk.SerializeAsString()));
        assembler.add(parsed);
        ++chunks;
        return true;
    });
    ASSERT_GT(chunks, 20);
    const std::shared_ptr<const host::ColumnPacket> columns = assembler.takeColumns();
    ASSERT_EQ(columns->RowCount(), packet.rows.size());
    EXPECT_TRUE(columns->columns[0].IsNull(76));
    EXPECT_EQ(columns->columns[0].Value(77), Variant("no meio"));
    EXPECT_EQ(columns->columns[5].Value(0), Variant(Blob{std::string("a\0b", 3)}));
    EXPECT_EQ(Variant(columns).AsPacket(), packet);
    EXPECT_TRUE(assembler.empty());
}

TEST(PacketCodec, AssemblerWithoutChunksRaises) {
    PacketAssembler assembler;
    EXPECT_THROW(assembler.take(), PacketCodecError);
}

}  // namespace
