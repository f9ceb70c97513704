#pragma once

#include <QTest>
#include <tuple>
#include <utility>

// A data-driven table in three calls: columns<QString, bool>(), row(name, values...), and in
// the test `const auto [text, valid] = fetch<QString, bool>();`.
namespace DataRowDetail {

// QtTest keeps the pointers it is given for column names.
inline constexpr const char* columnNames[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};

template <typename... Types, std::size_t... Columns>
void addColumns(std::index_sequence<Columns...>) {
    static_assert(sizeof...(Types) <= std::size(columnNames));
    (QTest::addColumn<Types>(columnNames[Columns]), ...);
}

template <typename... Types, std::size_t... Columns>
std::tuple<Types...> fetchColumns(std::index_sequence<Columns...>) {
    return {*static_cast<Types*>(QTest::qData(columnNames[Columns], qMetaTypeId<Types>()))...};
}

} // namespace DataRowDetail

template <typename... Types> void columns() {
    DataRowDetail::addColumns<Types...>(std::index_sequence_for<Types...>());
}

template <typename... Values> void row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}

template <typename... Types> std::tuple<Types...> fetch() {
    return DataRowDetail::fetchColumns<Types...>(std::index_sequence_for<Types...>());
}
