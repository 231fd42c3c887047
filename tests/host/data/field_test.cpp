#include <gtest/gtest.h>

#include <string>

#include "host/data/client_data_set.h"
#include "host/data/exceptions.h"
#include "host/data/formatting.h"

namespace host {
namespace {

// One record with one field of the given type, open and in edit state.
class OneFieldTest : public ::testing::Test {
protected:
    TField& Make(FieldDef def) {
        TField& field = set.AddField(std::move(def));
        set.Open();
        set.Append();
        return field;
    }
    TClientDataSet set{"cdsTeste"};
};

TEST_F(OneFieldTest, FixedWidthStringsArePaddedOnRead) {
    TField& field = Make({"NRSEQORCAEVE", FieldType::FixedString, 2});
    field.SetAsString("0");
    EXPECT_EQ(field.AsString(), "0 ");
    EXPECT_EQ(field.Value(), Variant("0 "));
    EXPECT_EQ(field.DisplayText(), "0 ");
    field.SetAsString("00");
    EXPECT_EQ(field.AsString(), "00");
    field.Clear();
    EXPECT_EQ(field.AsString(), "");
    EXPECT_TRUE(field.IsNull());
}

TEST_F(OneFieldTest, FixedWidthCountsCharactersNotBytes) {
    TField& field = Make({"SIGLA", FieldType::FixedString, 4});
    field.SetAsString("pé");
    EXPECT_EQ(field.AsString(), "pé  ");
}

TEST_F(OneFieldTest, PlainStringsAreNotPadded) {
    TField& field = Make({"CDFILIAL", FieldType::String, 4});
    field.SetAsString("1");
    EXPECT_EQ(field.AsString(), "1");
}

TEST_F(OneFieldTest, FloatDisplayFormats) {
    TField& field = Make({"VRITEMORCEVE", FieldType::Float, 0});
    const struct {
        const char* format;
        double value;
        const char* expected;
    } cases[] = {
        {"#,##0.00", 1234.5, "1.234,50"}, {"#,##0.00", -1234.565, "-1.234,57"},
        {"#,##0.000", 3.0, "3,000"},      {"#,##0.000", 1234.5678, "1.234,568"},
        {"", 1234.5, "1234,5"},           {"", 3.0, "3"},
    };
    for (const auto& c : cases) {
        field.DisplayFormat = c.format;
        field.SetAsFloat(c.value);
        EXPECT_EQ(field.DisplayText(), c.expected) << c.format << " " << c.value;
    }
    field.Clear();
    field.DisplayFormat = "#,##0.00";
    EXPECT_EQ(field.DisplayText(), "");
}

TEST_F(OneFieldTest, DateDisplay) {
    TField& field = Make({"DTHRENTROREV", FieldType::DateTime, 0});
    field.SetAsDateTime(EncodeDateTime(2025, 3, 7, 9, 5, 30));
    EXPECT_EQ(field.DisplayText(), "07/03/2025 09:05");
    field.SetAsDateTime(EncodeDate(2025, 3, 7));
    EXPECT_EQ(field.DisplayText(), "07/03/2025");
    field.SetAsDateTime(TDateTime{0});
    EXPECT_EQ(field.DisplayText(), "");
    field.Clear();
    EXPECT_EQ(field.DisplayText(), "");
    field.SetAsDateTime(EncodeDateTime(2025, 3, 7, 9, 5, 30));
    field.DisplayFormat = "dd/mm/yy hh:nn:ss";
    EXPECT_EQ(field.DisplayText(), "07/03/25 09:05:30");
}

TEST_F(OneFieldTest, StringWithEditMask) {
    TField& field = Make({"NRINSJURCLIE", FieldType::String, 20});
    field.EditMask = "000.000.000-00;0;_";
    field.SetAsString("12345678901");
    EXPECT_EQ(field.DisplayText(), "123.456.789-01");
    EXPECT_EQ(field.AsString(), "12345678901");  // the stored value stays bare
    field.Clear();
    EXPECT_EQ(field.DisplayText(), "");
}

TEST_F(OneFieldTest, BlobShowsItsText) {
    TField& field = Make({"TXOBSJUSTORC", FieldType::Blob, 0});
    field.SetAsString("Cliente desistiu");
    EXPECT_EQ(field.DisplayText(), "Cliente desistiu");
    EXPECT_EQ(field.AsString(), "Cliente desistiu");
    EXPECT_EQ(field.Value().Type(), VarType::Blob);
}

TEST_F(OneFieldTest, GetTextHandlerSuppliesTheText) {
    TField& field = Make({"IDSITUORCEVE", FieldType::String, 1});
    field.SetAsString("3");
    bool displayFlag = false;
    std::string seenOnEntry = "unset";
    field.OnGetText = [&](TField& sender, std::string& text, bool display) {
        seenOnEntry = text;
        displayFlag = display;
        if (sender.AsInteger() == 3) {
            text = "Fechado";
        }
    };
    EXPECT_EQ(field.DisplayText(), "Fechado");
    EXPECT_EQ(seenOnEntry, "");
    EXPECT_TRUE(displayFlag);
    field.SetAsString("1");
    EXPECT_EQ(field.DisplayText(), "");  // the handler left it empty
}

TEST_F(OneFieldTest, FloatReadsTypedText) {
    TField& field = Make({"QTITEMORCEVE", FieldType::Float, 0});
    field.SetAsString("1.234,56");
    EXPECT_DOUBLE_EQ(field.AsFloat(), 1234.56);
    EXPECT_EQ(field.AsString(), "1234,56");
    field.SetAsString("");
    EXPECT_TRUE(field.IsNull());
    try {
        field.SetAsString("abc");
        FAIL() << "accepted abc";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid floating point value");
    }
    EXPECT_TRUE(field.IsNull());  // a rejected text changes nothing
    field.SetValue(Variant(7));   // an integer becomes a float
    EXPECT_EQ(field.Value().Type(), VarType::Float);
    EXPECT_EQ(field.AsInteger(), 7);
}

TEST_F(OneFieldTest, DateReadsTypedText) {
    TField& field = Make({"DTEVENTO", FieldType::DateTime, 0});
    field.SetAsString("07/03/2025");
    EXPECT_EQ(field.AsDateTime(), EncodeDate(2025, 3, 7));
    EXPECT_EQ(field.AsString(), "07/03/2025");
    field.SetAsString("07/03/2025 10:30");
    EXPECT_EQ(field.AsString(), "07/03/2025 10:30:00");
    EXPECT_THROW(field.SetAsString("31/02/2025"), EConvertError);
    EXPECT_EQ(field.AsDateTime(), EncodeDateTime(2025, 3, 7, 10, 30, 0));
}

TEST_F(OneFieldTest, StringReadAsNumber) {
    TField& field = Make({"IDSITUORCEVE", FieldType::String, 1});
    field.SetAsString("3");
    EXPECT_EQ(field.AsInteger(), 3);
    EXPECT_DOUBLE_EQ(field.AsFloat(), 3.0);
    field.SetAsString("");
    EXPECT_THROW(field.AsInteger(), EConvertError);
    field.SetAsString("x");
    EXPECT_THROW(field.AsInteger(), EConvertError);
}

TEST_F(OneFieldTest, IntegerField) {
    TField& field = Make({"QTDIAS", FieldType::Integer, 0});
    field.SetAsString("42");
    EXPECT_EQ(field.Value(), Variant(42));
    field.SetAsFloat(2.6);
    EXPECT_EQ(field.AsInteger(), 3);
    field.DisplayFormat = "#,##0";
    field.SetAsInteger(1234567);
    EXPECT_EQ(field.DisplayText(), "1.234.567");
    EXPECT_THROW(field.SetAsString("4x"), EConvertError);
}

TEST(FieldTest, ClosedSetReadsNull) {
    TClientDataSet set("cdsTeste");
    TField& field = set.AddField({"CDFILIAL", FieldType::String, 4});
    EXPECT_TRUE(field.IsNull());
    EXPECT_EQ(field.AsString(), "");
    EXPECT_EQ(field.DisplayText(), "");
    EXPECT_EQ(field.GetDisplayLabel(), "CDFILIAL");
    field.DisplayLabel = "Código";
    EXPECT_EQ(field.GetDisplayLabel(), "Código");
}

}  // namespace
}  // namespace host
