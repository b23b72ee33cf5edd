#include "platform/settings_store.h"

#include <QSettings>
#include <QString>

namespace platform {

std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                       const std::string& fallback) {
  const QString name = QString::fromStdString(app);
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, name, name);
  store.beginGroup(QString::fromStdString(section));
  const QVariant value = store.value(QString::fromStdString(key));
  if (!value.isValid()) return fallback;
  // The INI reader splits an unquoted value at its commas: a decimal comma such as
  // "1500,5" comes back as a list, whose text is rejoined for the caller to read.
  if (value.typeId() == QMetaType::QStringList) {
    return value.toStringList().join(',').toStdString();
  }
  return value.toString().toStdString();
}

}  // namespace platform
