#include "ui/refresh/PRRefreshList.h"

#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

void pr_attachListRefresh(const std::shared_ptr<UIScrollView>& list, std::function<void()> pullDown,
                          std::function<void()> pullUp) {
  auto header = PRRefreshHeader::headerWithRefreshingBlock<TZPRRefreshNormalHeader>(std::move(pullDown));
  setPr_header(list, header);
  setPr_footer(list, PRRefreshFooter::footerWithRefreshingBlock<TZPRRefreshAutoNormalFooter>(std::move(pullUp)));
  header->beginRefreshing();
}
