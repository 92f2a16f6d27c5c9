// How long an expansion takes on a real X server: from the last key of the trigger to the
// replacement being complete in a text field, for replacements of 20 and 200 characters.
// Needs DISPLAY (an Xvfb will do) and xdotool.

#include "eventloopwait.h"
#include "expansion/textexpander.h"
#include "expansionharness.h"
#include "platform/x11/synthetickeyledger.h"
#include "platform/x11/x11activationnotifier.h"
#include "platform/x11/x11keystrokesynthesizer.h"
#include "platform/x11/x11keystroketap.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <chrono>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace corvane {
namespace {

const QString twentyCharacters = QStringLiteral("Best regards, Anna.\n");
const QString twoHundredCharacters = QStringLiteral(
    "Thank you for your message. I am out of the office until Monday, 14 March, with limited "
    "access to email. For anything urgent, please call the front desk on 555 0100.\nKind "
    "regards, Anna");
// Seven characters no US key types, each through a spare key code.
const QString twentyMixedCharacters
    = QStringLiteral("caf\u00e9 \u4f60\u597d \U0001F300 na\u00efve \u00df\u00f8!");
// Twenty characters no US key types: one more than the spare key codes of Xvfb, so some
// spare key codes are rebound while typing, each after a pause for the application to read
// the previous binding.
const QString twentyForeignCharacters
    = QStringLiteral("\u00e9\u00e8\u00fc\u00df\u4f60\u597d\u4e16\u754c\U0001F300\U0001F389"
                     "\u00e7\u00f1\u00f8\u00e5\u0436\u044f\u03b1\u03b2\u05d0\u20ac");

struct Rig
{
    test::ExpansionTarget target;
    std::unique_ptr<ActivationNotifier> activations = createX11ActivationNotifier();
    std::shared_ptr<SyntheticKeyLedger> ledger = std::make_shared<SyntheticKeyLedger>();
    TextExpander expander { createX11KeystrokeTap(ledger), createX11KeystrokeSynthesizer(ledger),
        *activations };
    Display *display = XOpenDisplay(nullptr);
    ExpansionMatcher::TriggerTable triggers;

    ~Rig()
    {
        expander.stop();
        if (display)
            XCloseDisplay(display);
    }
};

void measureExpansion(benchmark::State &state, const QString &replacement)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        state.SkipWithError("needs an X server in DISPLAY");
        return;
    }
    Rig rig;
    if (!rig.display || !rig.target.start()) {
        state.SkipWithError("the helper window never got the focus");
        return;
    }
    rig.triggers = { { QStringLiteral("rep"), replacement } };
    rig.expander.triggers = [&rig] { return rig.triggers; };
    rig.expander.start(QStringLiteral("::"));
    const KeyCode lastKey = XKeysymToKeycode(rig.display, XK_p);

    for (auto _ : state) {
        if (!rig.target.clear()
            || !test::xdotool({ QStringLiteral("type"), QStringLiteral("::re") })
            || !test::spinUntil(
                [&rig] { return rig.expander.matcher().buffer().endsWith(u"::re"); },
                std::chrono::seconds(10))
            || !rig.target.waitForText(QStringLiteral("::re"))) {
            state.SkipWithError("the trigger could not be typed");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        XTestFakeKeyEvent(rig.display, lastKey, True, CurrentTime);
        XTestFakeKeyEvent(rig.display, lastKey, False, CurrentTime);
        XFlush(rig.display);
        if (!rig.target.waitForText(replacement)) {
            state.SkipWithError("the replacement never arrived complete");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        rig.expander.matcher().clearBuffer();
    }
}

void BM_ExpansionOf20Characters(benchmark::State &state)
{
    measureExpansion(state, twentyCharacters);
}

void BM_ExpansionOf200Characters(benchmark::State &state)
{
    measureExpansion(state, twoHundredCharacters);
}

void BM_ExpansionOf20CharactersSomeOffTheLayout(benchmark::State &state)
{
    measureExpansion(state, twentyMixedCharacters);
}

void BM_ExpansionOf20CharactersAllOffTheLayout(benchmark::State &state)
{
    measureExpansion(state, twentyForeignCharacters);
}

BENCHMARK(BM_ExpansionOf20Characters)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_ExpansionOf200Characters)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_ExpansionOf20CharactersSomeOffTheLayout)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_ExpansionOf20CharactersAllOffTheLayout)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

} // namespace
} // namespace corvane

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
