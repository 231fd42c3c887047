#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/order_rules.h"
#include "server/service_error.h"

namespace {

using ore::server::parseCodeList;
using ore::server::ServiceError;

TEST(CodeList, EachElementIsOneLiteralCode) {
    struct Case {
        const char* list;
        std::vector<std::string> codes;
    };
    const std::vector<Case> cases = {
        {"0001", {"0001"}}, {"0001,0002,0003", {"0001", "0002", "0003"}},
        {"'1'", {"'1'"}},   {"a;b", {"a;b"}},
        {"1 2", {"1 2"}},   {"--", {"--"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.list);
        EXPECT_EQ(parseCodeList(test.list, "vendedores", 4), test.codes);
    }
}

TEST(CodeList, MalformedListsAreRefusedWithTheirReason) {
    struct Case {
        const char* list;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"", "Lista de vendedores inválida: há um código vazio."},
        {",0001", "Lista de vendedores inválida: há um código vazio."},
        {"0001,", "Lista de vendedores inválida: há um código vazio."},
        {"0001,,0002", "Lista de vendedores inválida: há um código vazio."},
        {"00001", "Lista de vendedores inválida: o código \"00001\" tem mais de 4 caracteres."},
        {"0001,'; DROP TABLE ORCAEVENTO; --",
         "Lista de vendedores inválida: o código \"'; DROP TABLE ORCAEVENTO; --\" tem mais de 4 "
         "caracteres."},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.list);
        try {
            parseCodeList(test.list, "vendedores", 4);
            FAIL() << "accepted";
        } catch (const ServiceError& error) {
            EXPECT_EQ(error.kind(), ore::server::ErrorKind::InvalidArgument);
            EXPECT_STREQ(error.what(), test.text);
        }
    }
}

TEST(CodeList, TooManyCodesAreRefused) {
    std::string list = "1";
    for (int code = 2; code <= 5001; ++code) {
        list += "," + std::to_string(code);
    }
    try {
        parseCodeList(list, "clientes", 21);
        FAIL() << "accepted";
    } catch (const ServiceError& error) {
        EXPECT_STREQ(error.what(), "Lista de clientes com mais de 5000 códigos.");
    }
}

}  // namespace
