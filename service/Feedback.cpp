// Feedback: a free text from anyone. With the sender's session it is filed under that user,
// otherwise under no one (the client sends "id" "6" for a visitor, which names nobody). A text
// of blanks only is refused.

#include <string>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

Reply Service::opFeedback(Incoming& in) {
    std::string content = text(in.fields, "content");
    if (blank(content)) return refuse(202, "反馈内容不能为空");
    store_.addItem("feedback", in.sessionUser.value_or(0), {{"content", content}, {"addtime", dayAndTime(clockSeconds()).substr(0, 10)}});
    return ok(nullptr, "提交成功");
}

}  // namespace zvt::service
