#pragma once
// The list screens' pull-to-refresh pair in one step: the themed header and the themed footer
// attached to a list, the header refreshing at once so that the first page is asked for as the
// screen opens.

#include <functional>
#include <memory>

#include "platform/uikit/UIScrollView.h"

// `pullDown` runs when the header refreshes (at once, then on every pull-down), `pullUp` when
// the footer does.
void pr_attachListRefresh(const std::shared_ptr<UIScrollView>& list, std::function<void()> pullDown,
                          std::function<void()> pullUp);
