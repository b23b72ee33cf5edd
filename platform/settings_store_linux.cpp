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
  return value.isValid() ? value.toString().toStdString() : fallback;
}

}  // namespace platform
