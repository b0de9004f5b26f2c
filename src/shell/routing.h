// Helpers of the shell's message routing.
#pragma once

#include "platform/messages.h"

#include <QObject>
#include <QPointer>
#include <initializer_list>

// Sends the message to a pane; a pane that does not exist (yet) answers 1 and
// nothing changes.
inline LRESULT Forward(QObject* pane, std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    return pane ? SendMessage(pane, message, wParam, lParam) : 1;
}

// Sends the message to every pane that exists.
template <typename P>
inline void ForwardToAll(std::initializer_list<P> panes, std::uint32_t message, WPARAM wParam, LPARAM lParam)
{
    for (QObject* pane : panes) {
        if (pane)
            SendMessage(pane, message, wParam, lParam);
    }
}
