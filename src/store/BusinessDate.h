#pragma once

#include <string>

#include "store/Connection.h"
#include "store/Query.h"

namespace vip::store {

// The connect operation without its dialog and buttons:
//   closes `connection` if open, sets `connectionString`, sets `sysDate` to
//   today "yyyy-mm-dd", opens the connection. A failure to open is returned
//   as false with `reason` set (the caller shows "连接数据库失败!"). Then
//   reads the business date from Qx_SysPara with `qryTmp`: the first row's
//   SP_Value (NULL gives ""), today's date without a row. A failing parameter
//   query throws StoreError with the connection left open.
struct ConnectResult {
  bool opened = false;
  std::string reason;  // why opening failed; never holds a password
};
ConnectResult connectStore(Connection& connection, Query& qryTmp,
                           const std::string& connectionString, std::string& sysDate);

}  // namespace vip::store
