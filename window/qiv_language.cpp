#include "window/qiv_language.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMetaProperty>
#include <QTabWidget>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "appcore/bounded_file.h"
#include "appcore/ini_file.h"
#include "window/qt_text.h"

namespace app {
namespace {

constexpr std::string_view kSection = "TRANSLATIONS";

// Text properties of Qt's widget classes that a translation file must never set: the
// program finds its controls by objectName, and a style sheet or input mask changes how a
// control looks or what it accepts rather than what it says.
// "html" and "markdown" (of text editors) would load markup and images.
constexpr std::array<std::string_view, 5> kDeniedProperties = {"objectName", "styleSheet",
                                                               "inputMask", "html", "markdown"};
// Text properties Qt shows as rich text when they look like markup.
constexpr std::array<std::string_view, 2> kRichTextProperties = {"toolTip", "whatsThis"};

// Sets one text; false when the widget refuses it.
using TextSetter = std::function<bool(const QString&)>;

bool IsDenied(const char* property_name) {
  for (std::string_view denied : kDeniedProperties) {
    if (QString::fromLatin1(property_name)
            .compare(QLatin1String(denied.data(), static_cast<qsizetype>(denied.size())),
                     Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

bool IsRichTextProperty(const char* property_name) {
  for (std::string_view name : kRichTextProperties) {
    if (QString::fromLatin1(property_name)
            .compare(QLatin1String(name.data(), static_cast<qsizetype>(name.size())),
                     Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

// The tab widget whose page this widget is, if any.
QTabWidget* TabsOf(QWidget& page) {
  for (QWidget* parent = page.parentWidget(); parent != nullptr; parent = parent->parentWidget()) {
    if (auto* tabs = qobject_cast<QTabWidget*>(parent)) {
      return tabs->indexOf(&page) >= 0 ? tabs : nullptr;
    }
  }
  return nullptr;
}

std::optional<TextSetter> CaptionOf(QWidget& widget) {
  if (QTabWidget* tabs = TabsOf(widget)) {
    return [tabs, &widget](const QString& text) {
      tabs->setTabText(tabs->indexOf(&widget), text);
      return true;
    };
  }
  if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
    return [group](const QString& text) {
      group->setTitle(text);
      return true;
    };
  }
  if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
    return [button](const QString& text) {
      button->setText(text);
      return true;
    };
  }
  if (auto* label = qobject_cast<QLabel*>(&widget)) {
    return [label](const QString& text) {
      label->setTextFormat(Qt::PlainText);  // never markup, images or links
      label->setText(text);
      return true;
    };
  }
  return std::nullopt;
}

// Any other text property of the widget's class, matched ignoring case.
std::optional<TextSetter> MetaTextProperty(QWidget& widget, const QString& name) {
  const QMetaObject* meta = widget.metaObject();
  for (int i = 0; i < meta->propertyCount(); ++i) {
    const QMetaProperty property = meta->property(i);
    if (name.compare(QLatin1String(property.name()), Qt::CaseInsensitive) != 0) continue;
    if (property.metaType().id() != QMetaType::QString || IsDenied(property.name())) {
      return std::nullopt;
    }
    if (IsRichTextProperty(property.name())) {
      return [property, &widget](const QString& text) {
        return property.write(&widget, PlainToolTip(text));
      };
    }
    if (auto* label = qobject_cast<QLabel*>(&widget)) label->setTextFormat(Qt::PlainText);
    return [property, &widget](const QString& text) { return property.write(&widget, text); };
  }
  return std::nullopt;
}

std::optional<TextSetter> TextProperty(QWidget& widget, const QString& name) {
  if (name.compare(QLatin1String("Caption"), Qt::CaseInsensitive) == 0) return CaptionOf(widget);
  if (name.compare(QLatin1String("Hint"), Qt::CaseInsensitive) == 0) {
    return [&widget](const QString& text) {
      widget.setToolTip(PlainToolTip(text));
      return true;
    };
  }
  return MetaTextProperty(widget, name);
}

// The first descendant widget of that name; an empty name finds none, since many of Qt's
// inner widgets have no name.
QWidget* FindComponent(QWidget& form, const QString& name) {
  if (name.isEmpty()) return nullptr;
  for (QWidget* widget : form.findChildren<QWidget*>()) {
    if (widget->objectName().compare(name, Qt::CaseInsensitive) == 0) return widget;
  }
  return nullptr;
}

int TagOf(const QWidget& widget) {
  bool ok = false;
  const int tag = widget.property("Tag").toInt(&ok);
  return ok ? tag : 0;
}

// A label sizes itself to its text, as the window lays labels out by position only.
void FitLabel(QWidget& widget) {
  auto* label = qobject_cast<QLabel*>(&widget);
  if (label == nullptr) return;
  const QWidget* parent = label->parentWidget();
  if (parent == nullptr || parent->layout() == nullptr || parent->layout()->indexOf(label) < 0) {
    label->adjustSize();
  }
}

void ApplyEntry(QWidget& form, const IniEntry& entry) {
  const QString key = FromCp1252(entry.key);
  const qsizetype first_stop = key.indexOf(QLatin1Char('.'));
  const QString window = first_stop < 0 ? QString() : key.left(first_stop);
  const QString rest = first_stop < 0 ? key : key.mid(first_stop + 1);
  const qsizetype second_stop = rest.indexOf(QLatin1Char('.'));
  const QString component_name = second_stop < 0 ? QString() : rest.left(second_stop);
  const QString property_name = second_stop < 0 ? rest : rest.mid(second_stop + 1);

  if (window != form.objectName()) return;
  QWidget* component = FindComponent(form, component_name);
  if (component == nullptr || TagOf(*component) <= 0) return;
  const std::optional<TextSetter> set_text = TextProperty(*component, property_name);
  if (!set_text) return;

  // "~~" is a line break; replace() scans left to right without overlap, so "~~~" gives a
  // line break and then "~".
  const QString text = FromCp1252(entry.value).replace(QLatin1String("~~"), QLatin1String("\n"));
  if (!(*set_text)(text)) {
    throw TranslationError(QStringLiteral("Cannot set property %1 of %2")
                               .arg(property_name, component->objectName())
                               .toStdString());
  }
  FitLabel(*component);
}

}  // namespace

TqivLanguage::TqivLanguage(QObject* parent) : QObject(parent) {}

void TqivLanguage::TranslateForm(QWidget& form) {
  const QString folder =
      program_folder_.isEmpty() ? QCoreApplication::applicationDirPath() : program_folder_;
  LanguageFile = QDir(folder).filePath(QLatin1String(kLanguageFileName));
  if (!fallback_file_.isEmpty() && !QFileInfo::exists(LanguageFile)) LanguageFile = fallback_file_;
  ApplyLanguageFile(form, LanguageFile);
}

void TqivLanguage::ApplyLanguageFile(QWidget& form, const QString& path) {
  const BoundedRead read =
      ReadBoundedFile(std::filesystem::path(path.toStdU16String()), kLanguageFileLimit);
  if (!read.found) return;
  // Like the platform's reader, a file that cannot be read holds no section; one that is
  // no regular file or too large for a translation is refused unread.
  if (read.failure == ReadFailure::kNotRegular || read.failure == ReadFailure::kTooLarge) {
    throw TranslationError("Cannot open file " + std::string(kLanguageFileName) + ": " +
                           DescribeReadFailure(read.failure, kLanguageFileLimit));
  }
  const IniFile ini(read.bytes);
  for (const IniEntry& entry : ReadSectionEntries(ini, kSection)) ApplyEntry(form, entry);
}

}  // namespace app
