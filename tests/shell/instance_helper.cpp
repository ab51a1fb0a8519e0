// A stand-in player for the instance-channel tests:
//   shell_instance_helper SOCKET [PATH...]
// Prints "handed", "listening" or "nochannel". While listening it prints one
// line per message ("files N a|b", "wake N a|b", "exit") and takes commands
// on standard input: "hide" (resident hide), "orderly-exit" (stop
// listening, keep running), "quit".
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <string>

#include "player/shell/instance_channel.h"

using sonfara::shell::InstanceChannel;

namespace {
void Say(const QString& line) {
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}
QString Describe(const char* what, const QStringList& paths) {
    return QStringLiteral("%1 %2 %3")
        .arg(QLatin1String(what))
        .arg(paths.size())
        .arg(paths.join(u'|'));
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return 2;
    InstanceChannel channel(args.takeFirst());
    switch (channel.Start(args)) {
        case InstanceChannel::StartResult::kHandedOver:
            Say("handed");
            return 0;
        case InstanceChannel::StartResult::kNoChannel:
            Say("nochannel");
            return 1;
        case InstanceChannel::StartResult::kListening:
            Say("listening");
            break;
    }
    QObject::connect(&channel, &InstanceChannel::filesHanded,
                     [](const QStringList& p) { Say(Describe("files", p)); });
    QObject::connect(&channel, &InstanceChannel::wakeRequested,
                     [](const QStringList& p) { Say(Describe("wake", p)); });
    QObject::connect(&channel, &InstanceChannel::exitRequested, [&] {
        channel.StopListening();
        Say("exit");
        QCoreApplication::quit();
    });
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line) || line == "quit") {
            QCoreApplication::quit();
        } else if (line == "hide") {
            channel.SetResidentHidden(true);
            Say("hidden");
        } else if (line == "orderly-exit") {
            channel.StopListening();
            Say("stopped");
        }
    });
    return QCoreApplication::exec();
}
