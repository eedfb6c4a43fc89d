// The real program under Xvfb: a receiver window here, the wizard started with
// its id, closed through the window manager protocol, and the messages that
// reached the receiver counted. While a connection test waits, the window
// still answers the desktop and repaints, and a close is not lost. The window
// speaks the desktop's language.
#include "platform/x11/CloseNotification.h"
#include "platform/net/TestSockets.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace tavora;

namespace {
struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

class Receiver {
public:
    Receiver() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_.get()))
            throw std::runtime_error("cannot connect to the X server");
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_.get())).data;
        root_ = screen->root;
        window_ = xcb_generate_id(c_.get());
        xcb_create_window(c_.get(), XCB_COPY_FROM_PARENT, window_, root_, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        type_ = atom(c_.get(), CloseNotificationAtom);
        xcb_flush(c_.get());
    }

    uint32_t window() const { return window_; }

    // Finds the mapped top-level window with the given WM_NAME: the one a user
    // could close. The toolkit also names its hidden client-leader window after
    // the application, so unmapped windows are skipped.
    xcb_window_t findWindow(const std::string& title) {
        xcb_connection_t* c = c_.get();
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, root_), nullptr), &std::free);
        if (!tree)
            return XCB_WINDOW_NONE;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
                xcb_get_property_reply(
                    c,
                    xcb_get_property(c, 0, children[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                    nullptr),
                &std::free);
            if (!name || std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                                     xcb_get_property_value_length(name.get())) != title)
                continue;
            std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr),
                &std::free);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                return children[i];
        }
        return XCB_WINDOW_NONE;
    }

    // Asks a window to close as a window manager's close box does.
    void requestClose(xcb_window_t window) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom(c_.get(), "WM_PROTOCOLS");
        event.data.data32[0] = atom(c_.get(), "WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_.get(), 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(c_.get());
    }

    // Asks the window whether its program is alive, as a desktop does, and
    // waits up to `limit` for the answer the program sends to the root window.
    bool answersPing(xcb_window_t window, std::chrono::milliseconds limit) {
        xcb_connection_t* c = c_.get();
        // The answer goes to the root window for the window manager, with the
        // structure mask (some toolkit versions: the substructure mask).
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &mask);
        const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS"), ping = atom(c, "_NET_WM_PING");
        const uint32_t stamp = ++pings_;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = protocols;
        event.data.data32[0] = ping;
        event.data.data32[1] = stamp;
        event.data.data32[2] = window;
        xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(c);
        const bool answered = pollUntil(limit, [&] {
            bool answered = false;
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                const auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                answered |= (e->response_type & 0x7f) == XCB_CLIENT_MESSAGE && m->window == root_ &&
                            m->type == protocols && m->data.data32[0] == ping && m->data.data32[1] == stamp;
                std::free(e);
            }
            return answered;
        });
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &none);
        return answered;
    }

    // Covers the window with one of ours, uncovers it and waits up to `limit`
    // for the window to draw the uncovered area again as it was.
    bool repaintsExposedArea(xcb_window_t window, std::chrono::milliseconds limit) {
        xcb_connection_t* c = c_.get();
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &std::free);
        if (!geometry)
            return false;
        const std::vector<uint8_t> before =
            rootImage(geometry->x, geometry->y, geometry->width, geometry->height);
        const xcb_window_t cover = xcb_generate_id(c);
        const uint32_t values[] = {0xff00ff, 1}; // back pixel, override-redirect
        xcb_create_window(c, XCB_COPY_FROM_PARENT, cover, root_, geometry->x, geometry->y, geometry->width,
                          geometry->height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c, cover);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        const bool covered = rootImage(geometry->x, geometry->y, geometry->width, geometry->height) != before;
        xcb_destroy_window(c, cover);
        xcb_flush(c);
        return covered && pollUntil(limit, [&] {
                   return rootImage(geometry->x, geometry->y, geometry->width, geometry->height) == before;
               });
    }

    struct Count {
        int matching = 0;
        int other = 0;
    };
    // Counts the notifications that reached the receiver window so far
    // (messages to the root window are the desktop's business).
    Count drain(uint32_t expectedMessage) {
        xcb_connection_t* c = c_.get();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        Count count;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->window != root_) {
                if (message->window == window_ && message->type == type_ && message->format == 32 &&
                    message->data.data32[0] == expectedMessage && message->data.data32[1] == 0 &&
                    message->data.data32[2] == 0)
                    ++count.matching;
                else
                    ++count.other;
            }
            std::free(event);
        }
        return count;
    }

private:
    template <typename Condition>
    static bool pollUntil(std::chrono::milliseconds limit, Condition condition) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (condition())
                return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::vector<uint8_t> rootImage(int x, int y, int width, int height) {
        xcb_connection_t* c = c_.get();
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
            xcb_get_image_reply(c,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(x), int16_t(y),
                                              uint16_t(width), uint16_t(height), ~0u),
                                nullptr),
            &std::free);
        if (!image)
            return {};
        const uint8_t* data = xcb_get_image_data(image.get());
        return {data, data + xcb_get_image_data_length(image.get())};
    }

    std::unique_ptr<xcb_connection_t, Disconnect> c_;
    xcb_window_t root_ = 0;
    xcb_window_t window_ = 0;
    xcb_atom_t type_ = 0;
    uint32_t pings_ = 0;
};

const std::string EnglishTitle = "Tavora Live System Test Wizard";

// Starts `program` with `arguments` and its settings in `config`, and waits
// for its window, found by its title; XCB_WINDOW_NONE when none appeared.
// `language` ("NAME=value" each) is the desktop's language: English unless given.
xcb_window_t startWizard(Receiver& receiver, QProcess& wizard, const QString& program,
                         const QStringList& arguments, const QTemporaryDir& config,
                         const QStringList& language = {"LANGUAGE=C"},
                         const std::string& title = EnglishTitle) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    env.insert("QT_QPA_PLATFORM", "xcb");
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        env.remove(name);
    for (const QString& setting : language)
        env.insert(setting.section('=', 0, 0), setting.section('=', 1));
    wizard.setProcessEnvironment(env);
    wizard.start(program, arguments);
    xcb_window_t window = XCB_WINDOW_NONE;
    if (!wizard.waitForStarted(10000))
        return window;
    for (int i = 0; i < 400 && window == XCB_WINDOW_NONE; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        window = receiver.findWindow(title);
    }
    return window;
}

// Starts the wizard with `arguments` (and `language`, `title`, as
// startWizard), closes its window with the close box and waits for the
// program to end.
void runWizardAndClose(Receiver& receiver, const QStringList& arguments,
                       const QStringList& language = {"LANGUAGE=C"},
                       const std::string& title = EnglishTitle) {
    QTemporaryDir config;
    QProcess wizard;
    wizard.setProcessChannelMode(QProcess::ForwardedChannels);
    const xcb_window_t window =
        startWizard(receiver, wizard, WIZARD_BINARY, arguments, config, language, title);
    ASSERT_NE(window, XCB_WINDOW_NONE) << "the wizard window did not appear";
    receiver.requestClose(window);
    ASSERT_TRUE(wizard.waitForFinished(20000));
    EXPECT_EQ(wizard.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(wizard.exitCode(), 0);
}
} // namespace

TEST(CloseNotification, NormalModePostsExactlyOneMessage) {
    Receiver receiver;
    runWizardAndClose(receiver, {"49153", QString::number(receiver.window())});
    const Receiver::Count count = receiver.drain(49153);
    EXPECT_EQ(count.matching, 1);
    EXPECT_EQ(count.other, 0);
}

TEST(CloseNotification, AudioModeTakesTheNumbersAfterTheWord) {
    Receiver receiver;
    runWizardAndClose(receiver, {"Audio", "1234", QString::number(receiver.window())});
    const Receiver::Count count = receiver.drain(1234);
    EXPECT_EQ(count.matching, 1);
    EXPECT_EQ(count.other, 0);
}

TEST(CloseNotification, EitherNumberZeroPostsNothing) {
    Receiver receiver;
    runWizardAndClose(receiver, {"0", QString::number(receiver.window())});
    runWizardAndClose(receiver, {"audio", "777", "0"});
    runWizardAndClose(receiver, {"audio"});
    const Receiver::Count count = receiver.drain(0);
    EXPECT_EQ(count.matching, 0);
    EXPECT_EQ(count.other, 0);
}

// The real program speaks the desktop's language, as its window's title
// shows: the first of LANGUAGE's list that it has, else the locale's; English
// for an English or C entry first, or for a language it does not have.
TEST(CloseNotification, WindowSpeaksTheDesktopsLanguage) {
    Receiver receiver;
    const std::vector<std::pair<QStringList, std::string>> desktops{
        {{"LANGUAGE=de"}, "Tavora Live Systemtest-Assistent"},
        {{"LANGUAGE=pt_BR:fr:de"}, "Assistant de test système Tavora Live"},
        {{"LANG=es_ES.UTF-8"}, "Asistente de prueba del sistema Tavora Live"},
        {{"LANGUAGE=en:de"}, EnglishTitle},
        {{"LANGUAGE=C", "LANG=fr_FR.UTF-8"}, EnglishTitle},
        {{"LANG=pt_BR.UTF-8"}, EnglishTitle},
    };
    for (const auto& [language, title] : desktops) {
        SCOPED_TRACE(language.join(' ').toStdString());
        runWizardAndClose(receiver, {"7", QString::number(receiver.window())}, language, title);
    }
    EXPECT_EQ(receiver.drain(7).matching, int(desktops.size()));
}

TEST(CloseNotification, NoDisplayOrBadWindowIsIgnored) {
    Receiver receiver;
    postCloseNotification(0x7ffffff0u, 5); // no such window: BadWindow, ignored
    const std::string saved = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    postCloseNotification(receiver.window(), 6);
    setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(receiver.drain(6).matching, 0);
    postCloseNotification(receiver.window(), 6);
    EXPECT_EQ(receiver.drain(6).matching, 1);
}

// A close during a connection attempt that never gets an answer (each attempt
// limited to 20 s): directly to a loopback listener whose backlog is full, and
// through a loopback SOCKS 5 proxy that takes the connection and never says a
// word. Meanwhile the window answers the desktop's liveness ping and repaints
// what was covered, within the few seconds after which a desktop greys a
// window out. The close box counts as input, which waits for the next text;
// then the window closes with its settings stored and the notification sent,
// and no second attempt is made.
TEST(CloseNotification, CloseDuringAConnectionAttemptIsKept) {
    testnet::SilentListener silent;
    testnet::LoopbackListener silentProxy;
    for (const bool throughProxy : {false, true}) {
        SCOPED_TRACE(throughProxy ? "through a silent proxy" : "direct");
        Receiver receiver;
        QTemporaryDir config;
        if (throughProxy) {
            QDir().mkpath(config.filePath("tavora-live"));
            QFile settings(config.filePath("tavora-live/user.reg"));
            ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
            settings.write(QStringLiteral("Windows Registry Editor Version 5.00\n\n"
                                          "[HKEY_CURRENT_USER\\SOFTWARE\\Norvik\\Tavora Live\\Browser]\n"
                                          "\"UseProxy\"=dword:00000001\n\"SocksVersion\"=dword:00000003\n"
                                          "\"ProxyHost\"=\"127.0.0.1\"\n\"ProxyPort\"=dword:%1\n")
                               .arg(silentProxy.port(), 8, 16, QChar('0'))
                               .toUtf8());
        }
        QProcess wizard;
        wizard.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const xcb_window_t window = startWizard(
            receiver, wizard, ATTEMPT_DRIVER,
            {QString::number(silent.port()), "20000", "49155", QString::number(receiver.window())}, config);
        ASSERT_NE(window, XCB_WINDOW_NONE) << "the wizard window did not appear";
        QByteArray shown;
        while (!shown.contains('\n') && wizard.waitForReadyRead(20000))
            shown += wizard.readAllStandardOutput();
        const QByteArray trying = "Trying to connect to Tavora Server...\n";
        ASSERT_EQ(shown, trying);
        testnet::Fd atProxy;
        if (throughProxy) {
            // The exchange is under way once the proxy holds the greeting.
            atProxy = silentProxy.accept(10000);
            pollfd greeting{atProxy.get(), POLLIN, 0};
            ASSERT_EQ(poll(&greeting, 1, 10000), 1) << "no greeting reached the proxy";
        }

        EXPECT_TRUE(receiver.answersPing(window, std::chrono::seconds(5)));
        EXPECT_TRUE(receiver.repaintsExposedArea(window, std::chrono::seconds(5)));
        receiver.requestClose(window);
        shown += wizard.readAllStandardOutput();
        EXPECT_EQ(shown, trying) << "the attempt ended before the checks were done";
        ASSERT_TRUE(wizard.waitForFinished(60000));
        EXPECT_EQ(wizard.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(wizard.exitCode(), 0);
        shown += wizard.readAllStandardOutput();
        EXPECT_EQ(shown, trying + "First attempt failed...\n");
        const Receiver::Count count = receiver.drain(49155);
        EXPECT_EQ(count.matching, 1);
        EXPECT_EQ(count.other, 0);
        EXPECT_TRUE(QFile::exists(config.filePath("tavora-live/user.reg")));
    }
}
