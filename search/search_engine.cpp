#include "search/search_engine.h"

#include <QCoreApplication>
#include <QEvent>

#include <fstream>

namespace zynsearch {

namespace {

class JsSearchEvent : public QEvent {
public:
    explicit JsSearchEvent(std::string text)
        : QEvent(static_cast<QEvent::Type>(JsMessageWindow::kEventType)), text(std::move(text)) {}
    std::string text;
};

}  // namespace

bool InPrivateNetworkNamespace() {
    std::ifstream in("/proc/self/net/dev");
    std::string line;
    int interfaces = 0;
    bool only_lo = true;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        ++interfaces;
        only_lo = only_lo && name == "lo";
    }
    return interfaces > 0 && only_lo;
}

JsMessageWindow::JsMessageWindow(std::function<void(const std::string&)> handler)
    : window_{&JsMessageWindow::Post, this}, handler_(std::move(handler)) {}

void JsMessageWindow::Post(void* context, unsigned message, const char* text) {
    if (!context || !text || message != JS_SEARCH_MESSAGE) return;
    QCoreApplication::postEvent(static_cast<JsMessageWindow*>(context),
                                new JsSearchEvent(std::string(text, strnlen(text, 4096))));
}

void JsMessageWindow::customEvent(QEvent* event) {
    if (event->type() == kEventType && handler_) handler_(static_cast<JsSearchEvent*>(event)->text);
}

SearchEngine::SearchEngine(bool lan) : lan_(lan), vendors_(VendorSet::Load()) {
    auto i8 = std::make_unique<CI8Library>(vendors_);
    auto cam = std::make_unique<CLangChiLibrary>(vendors_);
    auto qv = std::make_unique<CQVLibrary>();
    auto netsdk = std::make_unique<CXiongMaiLibrary>(vendors_);
    auto js = std::make_unique<CJSLibrary>(vendors_);
    qv_ = qv.get();
    js_ = js.get();
    js_window_ = std::make_unique<JsMessageWindow>(
        [js = js_](const std::string& text) { js->OnSearchMessage(text); });
    js_->SetWindow(js_window_->window());

    i8->Initialise();
    cam->Initialise();
    if (lan_) qv->Initialise();
    netsdk->Initialise();
    js->Initialise();

    // Search order: I8, CamSearch, QV, JS, NetSDK, then the own devices.
    adapters_.push_back(std::move(i8));
    adapters_.push_back(std::move(cam));
    adapters_.push_back(std::move(qv));
    adapters_.push_back(std::move(js));
    adapters_.push_back(std::move(netsdk));
    if (lan_) {
        auto zyn = std::make_unique<CZynLibrary>();
        zyn->Initialise();
        adapters_.push_back(std::move(zyn));
    }
    std::vector<CAVLibrary*> order;
    for (auto& a : adapters_) order.push_back(a.get());
    session_ = std::make_unique<SearchSession>(order);
    actions_ = std::make_unique<DeviceActions>(vendors_, lan_ ? &qv_->client() : nullptr);
}

SearchEngine::~SearchEngine() {
    session_.reset();
    for (auto& a : adapters_) a->CleanUp();
    adapters_.clear();
}

std::vector<std::string> SearchEngine::Describe() const {
    std::vector<std::string> out;
    auto line = [&](const char* name, const std::shared_ptr<vendors::VendorLibrary>& lib) {
        out.push_back(std::string(name) + ": " + (lib ? lib->path() : "not found"));
    };
    line("I8_NetSDK", vendors_->i8_lib);
    line("CamSearch", vendors_->cam_lib);
    line("NetClient", vendors_->net_client_lib);
    line("NetSDK", vendors_->net_sdk_lib);
    line("JSNetProtocol", vendors_->js_lib);
    line("JSDec", vendors_->js_dec_lib);
    out.push_back(std::string("HDS (QV) and own devices: ") +
                  (lan_ ? (qv_->client().running() ? "searching" : "socket failed")
                        : "off (outside a private network namespace)"));
    return out;
}

}  // namespace zynsearch
