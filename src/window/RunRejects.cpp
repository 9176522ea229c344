#include "window/RunRejects.h"

#include <algorithm>

#include <QFile>
#include <QTemporaryDir>

#include "common/Error.h"
#include "common/Messages.h"
#include "import/RejectsWorkbook.h"

namespace vip::window {

namespace {

constexpr import::Phase kPhases[] = {import::Phase::Categories, import::Phase::Members};

bool wasWritten(const import::RejectsWorkbook& workbook, import::Phase phase) {
  const auto& written = workbook.written();
  return std::find(written.begin(), written.end(), workbook.pathOf(phase)) != written.end();
}

[[noreturn]] void refuseExport(const QString& path, const QString& reason) {
  throw vip::Error("未导入的行无法写入" + vip::messageText(path.toStdString()) + ":" +
                   vip::messageText(reason.toStdString()));
}

}  // namespace

RunRejects::RunRejects() = default;

RunRejects::~RunRejects() = default;

import::RunObserver* RunRejects::startRun(){dropWritten();
m_workbook.reset();
if (!m_folder) m_folder = std::make_unique<QTemporaryDir>();
if (!m_folder->isValid()) return nullptr;
// A base name per run: nothing of an earlier run can pass for this one's.
const QString base = m_folder->filePath(QStringLiteral("run%1").arg(++m_runs));
m_workbook = std::make_unique<import::RejectsWorkbook>(base.toStdString());
return m_workbook.get();
}  // namespace vip::window

bool RunRejects::any() const {
  return m_workbook && !m_workbook->written().empty();
}

QStringList RunRejects::exportTo(const QString& name) const {
  QStringList exported;
  if (!m_workbook) return exported;
  const import::RejectsWorkbook target(name.toStdString());
  for (const import::Phase phase : kPhases) {
    const QString to = QString::fromStdString(target.pathOf(phase));
    QFile existing(to);
    if (existing.exists() && !existing.remove()) refuseExport(to, existing.errorString());
    if (!wasWritten(*m_workbook, phase)) continue;
    QFile from(QString::fromStdString(m_workbook->pathOf(phase)));
    if (!from.copy(to)) refuseExport(to, from.errorString());
    exported << to;
  }
  return exported;
}

QString RunRejects::failure() const {
  return m_workbook ? QString::fromStdString(m_workbook->failure()) : QString();
}

void RunRejects::dropWritten() {
  if (!m_workbook) return;
  for (const std::string& path : m_workbook->written())
    QFile::remove(QString::fromStdString(path));
}

}  // namespace vip::window
