// A window that stands in for another (a main frame, a container, a pane, the
// host's window) and records what it is sent.
#pragma once

#include "platform/messages.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <vector>

struct Sent {
    std::uint32_t message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Sent&) const = default;
};

// Records every message; copies the text of messages that carry one in
// lParam. Answers result (ListCount also writes count to its lParam).
class Recorder : public MessageWindow<QWidget> {
public:
    explicit Recorder(const QString& name = QString(), QWidget* parent = nullptr)
        : MessageWindow<QWidget>(parent)
    {
        setObjectName(name);
    }
    std::vector<Sent> sent;
    QStringList texts;
    LRESULT result = 0;
    std::uint32_t count = 0;

    bool got(std::uint32_t m) const
    {
        return std::any_of(sent.begin(), sent.end(), [m](const Sent& s) { return s.message == m; });
    }
    int times(std::uint32_t m) const
    {
        return int(std::count_if(sent.begin(), sent.end(), [m](const Sent& s) { return s.message == m; }));
    }
    int times(const Sent& s) const { return int(std::count(sent.begin(), sent.end(), s)); }
    void clear()
    {
        sent.clear();
        texts.clear();
    }

protected:
    LRESULT onMessage(std::uint32_t m, WPARAM w, LPARAM l, bool&) override
    {
        sent.push_back({ m, w, l });
        const bool carriesText
            = m == msg::AddMovieList || m == msg::OpenSource || m == msg::FileGone || m == msg::HostStatus;
        if (carriesText && l)
            texts << *FromParam<const QString>(l);
        if (m == msg::ListCount && l)
            *FromParam<std::uint32_t>(l) = count;
        return result;
    }
};
