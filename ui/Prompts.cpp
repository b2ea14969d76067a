#include "ui/Prompts.h"

#include "ui/QtPrompts.h"

namespace kx4 {

namespace {

Prompts*& current() {
    static QtPrompts qtPrompts;
    static Prompts* installed = &qtPrompts;
    return installed;
}

}  // namespace

QString messageCaption(TMsgDlgType type) {
    switch (type) {
        case TMsgDlgType::mtError:
            return QStringLiteral("Fehler");
        case TMsgDlgType::mtInformation:
            return QStringLiteral("Information");
        case TMsgDlgType::mtConfirmation:
            return QStringLiteral("Bestätigung");
    }
    return {};
}

Prompts& prompts() { return *current(); }

PromptsOverride::PromptsOverride(Prompts& replacement) : previous_(current()) {
    current() = &replacement;
}

PromptsOverride::~PromptsOverride() { current() = previous_; }

}  // namespace kx4
