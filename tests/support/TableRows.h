// Table tests as parameterised tests: each row runs as a test of its own,
// named after what it checks, so a failing row is named and an ASSERT in one
// row never skips the rest.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>

// "03_a_quoted_field_never_closed": gtest names allow letters, digits and _.
inline std::string TableRowName(std::size_t index, const std::string& what) {
    std::string name = (index < 10 ? "0" : "") + std::to_string(index) + "_";
    for (unsigned char c : what) {
        if (std::isalnum(c))
            name += static_cast<char>(c);
        else if (name.back() != '_')
            name += '_';
        if (name.size() >= 60) break;
    }
    while (name.back() == '_') name.pop_back();
    return name;
}

// The rows' names, from one of each row's fields:
// INSTANTIATE_TEST_SUITE_P(Rows, Suite, ::testing::ValuesIn(rows), RowsNamedBy(&Row::what));
template <class Row, class Field>
auto RowsNamedBy(Field Row::*field) {
    return [field](const ::testing::TestParamInfo<Row>& info) {
        return TableRowName(info.index, std::string(info.param.*field));
    };
}
