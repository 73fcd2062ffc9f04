// Everything a search needs, shared by the window and `zynsearch --list`:
// the makers' libraries, one adapter per maker, the JS maker's message
// window, the search session and the device actions.
//
// Threads: create, search and destroy on the thread that runs the Qt event
// loop (the JS maker's results arrive there as events).
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "search/av_library.h"
#include "search/device_actions.h"
#include "search/search_session.h"

namespace zynsearch {

// The window of the JS maker's search: message 1130 posted from the library's
// thread becomes a Qt event handled on this object's thread.
class JsMessageWindow : public QObject {
public:
    static constexpr int kEventType = 1000 + JS_SEARCH_MESSAGE;  // QEvent::User + 1130
    explicit JsMessageWindow(std::function<void(const std::string&)> handler);
    JsWindow* window() { return &window_; }

protected:
    void customEvent(QEvent* event) override;

private:
    static void Post(void* context, unsigned message, const char* text);
    JsWindow window_;
    std::function<void(const std::string&)> handler_;
};

class SearchEngine {
public:
    // `lan`: also the makers that search by multicast (QV's HDS client and the
    // own devices); the program allows them only inside a private network
    // namespace unless told otherwise.
    explicit SearchEngine(bool lan);
    ~SearchEngine();

    void Start(SearchSession::RowFn on_row) { session_->Start(std::move(on_row)); }
    void Stop() { session_->Stop(); }
    SearchSession& session() { return *session_; }
    DeviceActions& actions() { return *actions_; }
    const std::shared_ptr<VendorSet>& vendors() const { return vendors_; }
    // "I8_NetSDK: loaded from ..." lines for --list and the About box.
    std::vector<std::string> Describe() const;

private:
    bool lan_;
    std::shared_ptr<VendorSet> vendors_;
    std::vector<std::unique_ptr<CAVLibrary>> adapters_;
    CQVLibrary* qv_ = nullptr;
    CJSLibrary* js_ = nullptr;
    std::unique_ptr<JsMessageWindow> js_window_;
    std::unique_ptr<SearchSession> session_;
    std::unique_ptr<DeviceActions> actions_;
};

bool InPrivateNetworkNamespace();

}  // namespace zynsearch
