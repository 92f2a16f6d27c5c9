#pragma once

#include "platform/keystrokesynthesizer.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace corvane {

// Records what it was asked to type: "<Delete>" for each erase press and each text as given,
// in order, burst by burst.
class FakeKeystrokeSynthesizer final : public KeystrokeSynthesizer
{
public:
    bool available = true;
    // Every press of the bursts so far, in order.
    QStringList presses;
    int bursts = 0;
    bool isInBurst = false;

    // Runs at every erase press, to see what happens to key reports arriving mid-burst.
    std::function<void()> onDeletePress;

    // The text the presses leave in an empty field.
    QString typedText() const;

    bool begin() override;
    void pressDelete() override;
    void typeText(QStringView text) override;
    void end() override;
};

} // namespace corvane
