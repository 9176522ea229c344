#pragma once

#include <string>

#include "common/FormatSettings.h"
#include "import/Operator.h"
#include "store/Query.h"

namespace vip::import {

// The import run behind btnImport: the path checks, the category phase, the
// member phase with its opening-balance entries, the closing block and the
// final notice. A failure outside the row guards escapes as an exception
// (its what() is the message for the default error display).
class ImportRun {
 public:
  enum class Outcome {
    Refused,    // a path check failed; its notice was shown, nothing changed
    Completed,  // the closing block was logged and "导入完毕" acknowledged
  };

  ImportRun(Operator& op, store::Query& qryInsert, store::Query& qryDetail, std::string sysDate,
            const FormatSettings& settings = defaultFormatSettings());

  Outcome run(const std::string& categoryPath, const std::string& memberPath);

 private:
  Operator& m_operator;
  store::Query& m_qryInsert;
  store::Query& m_qryDetail;
  std::string m_sysDate;
  FormatSettings m_settings;
};

}  // namespace vip::import
