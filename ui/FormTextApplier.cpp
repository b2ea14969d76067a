#include "ui/FormTextApplier.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <stdexcept>

#include "texts/TextCatalogue.h"

namespace kx4 {

namespace {

QObject& findControl(QWidget& window, const char* name) {
    if (*name == '\0') return window;
    if (QObject* control = window.findChild<QObject*>(QString::fromLatin1(name))) return *control;
    throw std::logic_error(std::string("window ") + window.objectName().toStdString() +
                           " has no control " + name);
}

// A tab page's caption is the text of its tab.
QTabWidget* tabWidgetOf(QWidget& page) {
    for (QObject* parent = page.parent(); parent; parent = parent->parent()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(parent)) {
            return tabs->indexOf(&page) >= 0 ? tabs : nullptr;
        }
    }
    return nullptr;
}

void setCaption(QWidget& window, QObject& control, const QString& text) {
    if (&control == &window) {
        window.setWindowTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(&control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
        button->setText(text);
    } else if (auto* action = qobject_cast<QAction*>(&control)) {
        action->setText(text);
    } else if (auto* menu = qobject_cast<QMenu*>(&control)) {
        menu->setTitle(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(&control)) {
        group->setTitle(text);
    } else if (auto* page = qobject_cast<QWidget*>(&control); page && tabWidgetOf(*page)) {
        QTabWidget* tabs = tabWidgetOf(*page);
        tabs->setTabText(tabs->indexOf(page), text);
    } else {
        throw std::logic_error("control " + control.objectName().toStdString() + " has no caption");
    }
}

void setHint(QObject& control, const QString& text) {
    if (auto* widget = qobject_cast<QWidget*>(&control)) {
        widget->setToolTip(text);
    } else if (auto* action = qobject_cast<QAction*>(&control)) {
        action->setToolTip(text);
    } else {
        throw std::logic_error("control " + control.objectName().toStdString() + " has no hint");
    }
}

}  // namespace

void applyFormTexts(QWidget& window, std::span<const FormText> texts) {
    for (const FormText& entry : texts) {
        QObject& control = findControl(window, entry.control);
        const QString text = CatalogueText(entry.entry);
        if (entry.property == TextProperty::Hint) {
            setHint(control, text);
        } else {
            setCaption(window, control, text);
        }
    }
}

}  // namespace kx4
