#include "benchsupport.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

long residentKiB(qint64 pid) {
    return statusKiB(pid, "VmRSS");
}

long statusKiB(qint64 pid, const char* field) {
    const QByteArray key = QByteArray(field) + ':';
    QFile status(pid > 0 ? u"/proc/%1/status"_s.arg(pid) : u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // "VmRSS:\t    5120 kB": the kernel writes the figure in kB, which are KiB.
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith(key))
            continue;
        const QList<QByteArray> fields = line.mid(key.size()).simplified().split(' ');
        bool ok = false;
        const long kib = fields.value(0).toLong(&ok);
        return ok && fields.value(1) == "kB" ? kib : -1;
    }
    return -1;
}

double cpuSeconds(qint64 pid) {
    // The scheduler's own nanosecond count of every thread: the clock ticks of /proc/<pid>/stat
    // are 10 ms, as coarse as an idle program's whole figure.
    const QDir tasks(u"/proc/%1/task"_s.arg(pid));
    double ns = 0;
    bool any = false;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + u"/schedstat"_s));
        if (!schedstat.open(QIODevice::ReadOnly))
            continue;
        bool ok = false;
        // "<on-cpu ns> <waiting ns> <slices>"
        const double taskNs = schedstat.readAll().split(' ').value(0).toDouble(&ok);
        if (ok) {
            ns += taskNs;
            any = true;
        }
    }
    return any ? ns / 1e9 : -1;
}

int connectToLoopback(quint16 port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

bool sendAll(int socket, const QByteArray& bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        // MSG_NOSIGNAL: a peer that went away is a failed send, not a SIGPIPE.
        const ssize_t n =
            ::send(socket, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

int intOption(const QStringList& args, QStringView name, int fallback) {
    int value = fallback;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2)
        if (args[i] == name)
            value = args[i + 1].toInt();
    return value;
}

double median(std::vector<double> figures) {
    if (figures.empty())
        return 0;
    std::sort(figures.begin(), figures.end());
    const std::size_t half = figures.size() / 2;
    return figures.size() % 2 ? figures[half] : (figures[half - 1] + figures[half]) / 2;
}
