#include "TestStore.h"

#include <QProcess>
#include <QtGlobal>

#include "store/Connection.h"
#include "store/Query.h"

namespace teststore {

std::string connectionString(const QString& path) {
  return "Provider=SQLite;Data Source=" + path.toStdString();
}

std::string create(const QString& dir, const QString& name) {
  const std::string connection = connectionString(dir + QLatin1Char('/') + name);
  QProcess cli;
  cli.start(QStringLiteral(VIP_CLI), {QStringLiteral("init-store"), QStringLiteral("--connect"),
                                      QString::fromStdString(connection)});
  if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit ||
      cli.exitCode() != 0) {
    qWarning("init-store failed: %s", cli.readAllStandardError().constData());
    return {};
  }
  return connection;
}

void execute(const std::string& connection, const std::string& sql) {
  vip::store::Connection store;
  store.setConnectionString(connection);
  store.backend().executeScript(sql);
}

int countRows(const std::string& connection, const std::string& table) {
  vip::store::Connection store;
  store.setConnectionString(connection);
  vip::store::Query query(store, "qryCount");
  query.setSql(vip::store::Statement::text("Select count(*) as n from " + table));
  query.open();
  return std::stoi(query.fieldAsText("n"));
}

std::string snapshot(const std::string& connection) {
  vip::store::Connection store;
  store.setConnectionString(connection);
  vip::store::Query query(store, "qrySnapshot");
  std::string text;
  for (const char* table :
       {"VipCardType", "VipCardMaster", "VIPCardDetail", "AutoSerialNo", "Qx_SysPara"}) {
    text += std::string(table) + ":\n";
    query.setSql(vip::store::Statement::text(std::string("Select * from ") + table));
    query.open();
    for (; !query.eof(); query.next()) {
      for (const vip::store::FieldDef& field : query.fields())
        text += query.fieldAsText(field.name) + '|';
      text += '\n';
    }
    query.close();
  }
  return text;
}

}  // namespace teststore
