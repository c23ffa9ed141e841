#include "main/PageTimer.h"

#include "board/KivFile.h"
#include "config/PageLook.h"

#include <algorithm>
#include <exception>

namespace {

/// The longest period between two writes, in seconds: one day.
constexpr int kLongestPeriod = 86400;

} // namespace

TPageTimer::TPageTimer(std::function<TKivFile *()> board, QObject *parent) : QObject(parent), FBoard(std::move(board))
{
    FTimer.setObjectName(QStringLiteral("tmrGenerateHTML"));
    FTimer.setParent(this);
    connect(&FTimer, &QTimer::timeout, this, [this] { Tick(); });
}

void TPageTimer::Apply(const TKivSettings &settings)
{
    FLook = PageLookOf(settings);
    FPath = PageLocationOf(settings);
    // A new publisher: the page is written at the next tick, in its new look.
    FPublisher = TPagePublisher();
    if (FPath.empty()) {
        FTimer.stop();
        return;
    }
    FTimer.setInterval(std::clamp(settings.GenerateHTMLEvery, 1, kLongestPeriod) * 1000);
    FTimer.start();
    // The first page comes at once, not a period later.
    QTimer::singleShot(0, this, [this] { Tick(); });
}

bool TPageTimer::Tick()
{
    TKivFile *kiv = FBoard();
    if (kiv == nullptr || FPath.empty())
        return false;
    try {
        return FPublisher.Publish(*kiv, FLook, FPath);
    } catch (const std::exception &error) {
        kiv->Context().Host.SetStatusText(error.what());
        return false;
    }
}
