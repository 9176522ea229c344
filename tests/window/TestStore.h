#pragma once

#include <string>

#include <QString>

// Embedded SQLite stores for the window tests, made by `vipimport-cli
// init-store` like an operator would make them.
namespace teststore {

// Creates a new store file `name` in `dir`; returns its connection string,
// empty (with a warning) when init-store fails.
std::string create(const QString& dir, const QString& name);
std::string connectionString(const QString& path);
// Runs SQL on the store behind `connection` (test set-up only).
void execute(const std::string& connection, const std::string& sql);
// The number of rows of `table`.
int countRows(const std::string& connection, const std::string& table);
// Every row of every table of the store, as text, for comparing a store
// before and after (rows, counters and settings alike).
std::string snapshot(const std::string& connection);

}  // namespace teststore
