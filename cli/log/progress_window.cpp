#include "cli/log/progress_window.h"

#include "common/glib_handles.h"

#include <gtk/gtk.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kovru {

// Shared by the window thread and the worker. Widgets are touched on the window thread only;
// open is written there under the mutex and read by the worker under it.
struct WindowState {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    std::thread::id window_thread = std::this_thread::get_id();
    GtkWidget* window = nullptr;
    GtkWidget* log_view = nullptr;
    GtkWidget* progress_bar = nullptr;
    GtkWidget* copy_item = nullptr;
    gulong destroy_handler = 0;
    gulong copy_handler = 0;
    ProgressWindow* owner = nullptr;
};

namespace {

constexpr int kProgressBarHeight = 20;

struct KindStyle {
    const char* tag;
    const char* colour;
};

constexpr std::array<KindStyle, 4> kKindStyles = { {
    { "plain", "#000000" },
    { "success", "#008000" },
    { "warning", "#ff8000" },
    { "error", "#ff0000" },
} };

const KindStyle& style_of(LogKind kind)
{
    return kKindStyles[static_cast<std::size_t>(kind)];
}

struct PendingCall {
    std::shared_ptr<WindowState> state;
    std::function<void(WindowState&)> task;
    bool done = false;
};

void run_task(WindowState& state, const std::function<void(WindowState&)>& task)
{
    if (!state.open)
        return;
    try {
        task(state);
    } catch (...) {
        // Nothing may unwind through the main loop; a line that cannot be shown is dropped.
    }
}

gboolean run_pending_call(gpointer data)
{
    auto& call = *static_cast<std::shared_ptr<PendingCall>*>(data);
    run_task(*call->state, call->task);
    std::lock_guard lock(call->state->mutex);
    call->done = true;
    call->state->changed.notify_all();
    return G_SOURCE_REMOVE;
}

void free_pending_call(gpointer data)
{
    delete static_cast<std::shared_ptr<PendingCall>*>(data);
}

void on_window_destroyed(GtkWidget*, gpointer data)
{
    auto* state = static_cast<WindowState*>(data);
    {
        std::lock_guard lock(state->mutex);
        state->open = false;
        state->window = state->log_view = state->progress_bar = state->copy_item = nullptr;
        state->destroy_handler = state->copy_handler = 0;
        state->changed.notify_all();
    }
    if (gtk_main_level() > 0)
        gtk_main_quit();
}

void on_copy_activated(GtkMenuItem*, gpointer data)
{
    static_cast<WindowState*>(data)->owner->copy_log_to_clipboard();
}

void insert_newest_line(WindowState& state, LogKind kind, const std::string& line)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(state.log_view));
    // Messages may carry controller text; the buffer refuses anything but valid UTF-8.
    GCharPtr valid(g_utf8_make_valid(line.c_str(), static_cast<gssize>(line.size())));
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_insert_with_tags_by_name(
        buffer, &start, valid.get(), -1, style_of(kind).tag, nullptr);
    if (gtk_text_buffer_get_char_count(buffer) > ProgressWindow::kTextLimit) {
        GtkTextIter cut, end;
        gtk_text_buffer_get_iter_at_offset(buffer, &cut, ProgressWindow::kTextLimit);
        gtk_text_iter_set_line_offset(&cut, 0);
        gtk_text_buffer_get_end_iter(buffer, &end);
        gtk_text_buffer_delete(buffer, &cut, &end);
    }
    gtk_text_buffer_get_start_iter(buffer, &start);
    gtk_text_buffer_place_cursor(buffer, &start);
    gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(state.log_view), &start, 0.0, FALSE, 0.0, 0.0);
}

// Runs task on the window thread and returns once it ran, or once the window has closed.
void run_on_window_thread(
    const std::shared_ptr<WindowState>& state, std::function<void(WindowState&)> task)
{
    if (std::this_thread::get_id() == state->window_thread) {
        run_task(*state, task);
        return;
    }
    auto call = std::make_shared<PendingCall>(PendingCall { state, std::move(task) });
    std::unique_lock lock(state->mutex);
    if (!state->open)
        return;
    // Always queued: the window thread alone may touch the widgets.
    g_idle_add_full(G_PRIORITY_DEFAULT, run_pending_call, new std::shared_ptr<PendingCall>(call),
        free_pending_call);
    state->changed.wait(lock, [&] { return call->done || !state->open; });
}

void close_window(const std::shared_ptr<WindowState>& state)
{
    run_on_window_thread(
        state, [](WindowState& open_state) { gtk_widget_destroy(open_state.window); });
}

void add_colour_tags(GtkTextBuffer* buffer)
{
    for (const KindStyle& style : kKindStyles)
        gtk_text_buffer_create_tag(buffer, style.tag, "foreground", style.colour, nullptr);
}

// GTK draws the bar's trough only a few pixels high unless told otherwise.
void style_progress_bar(GtkWidget* bar)
{
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
        "progressbar, progressbar trough, progressbar progress {"
        " min-height: 20px; border-width: 0; margin: 0; padding: 0; }",
        -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(bar),
        GTK_STYLE_PROVIDER(provider), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    gtk_widget_set_size_request(bar, -1, kProgressBarHeight);
}

void build_widgets(WindowState& state)
{
    state.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(state.window), "Please wait...");
    gtk_window_set_default_size(GTK_WINDOW(state.window), 800, 600);

    GtkWidget* menu_bar = gtk_menu_bar_new();
    state.copy_item = gtk_menu_item_new_with_label("Copy log to clipboard");
    gtk_menu_shell_append(GTK_MENU_SHELL(menu_bar), state.copy_item);

    state.log_view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(state.log_view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(state.log_view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(state.log_view), GTK_WRAP_WORD_CHAR);
    add_colour_tags(gtk_text_view_get_buffer(GTK_TEXT_VIEW(state.log_view)));
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(
        GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC, GTK_POLICY_ALWAYS);
    gtk_container_add(GTK_CONTAINER(scroller), state.log_view);

    state.progress_bar = gtk_progress_bar_new();
    style_progress_bar(state.progress_bar);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(column), menu_bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), scroller, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(column), state.progress_bar, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(state.window), column);
}

} // namespace

ProgressWindow::ProgressWindow()
    : state_(std::make_shared<WindowState>())
{
    state_->owner = this;
    build_widgets(*state_);
    state_->destroy_handler = g_signal_connect(
        state_->window, "destroy", G_CALLBACK(on_window_destroyed), state_.get());
    state_->copy_handler = g_signal_connect(
        state_->copy_item, "activate", G_CALLBACK(on_copy_activated), state_.get());
}

std::unique_ptr<ProgressWindow> ProgressWindow::open()
{
    // GTK gets no arguments: the command line belongs to kovru-cli alone.
    if (!gtk_init_check(nullptr, nullptr))
        return nullptr;
    return std::unique_ptr<ProgressWindow>(new ProgressWindow());
}

ProgressWindow::~ProgressWindow()
{
    if (!state_->window)
        return;
    GtkWidget* window = state_->window;
    g_signal_handler_disconnect(state_->copy_item, state_->copy_handler);
    g_signal_handler_disconnect(window, state_->destroy_handler);
    {
        std::lock_guard lock(state_->mutex);
        state_->open = false;
        state_->window = state_->log_view = state_->progress_bar = state_->copy_item = nullptr;
        state_->changed.notify_all();
    }
    gtk_widget_destroy(window);
}

void ProgressWindow::add_line(LogKind kind, const std::string& stamped_line)
{
    run_on_window_thread(state_, [kind, &stamped_line](WindowState& state) {
        insert_newest_line(state, kind, stamped_line);
    });
}

void ProgressWindow::set_progress(int percent)
{
    double fraction = (percent < 0 ? 0 : percent > 100 ? 100 : percent) / 100.0;
    run_on_window_thread(state_, [fraction](WindowState& state) {
        gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(state.progress_bar), fraction);
    });
}

void ProgressWindow::request_close()
{
    close_window(state_);
}

void ProgressWindow::copy_log_to_clipboard()
{
    if (!state_->log_view)
        return;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(state_->log_view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    GCharPtr text(gtk_text_buffer_get_text(buffer, &start, &end, FALSE));
    if (!text || !*text)
        return;
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.get(), -1);
}

bool ProgressWindow::is_open() const
{
    std::lock_guard lock(state_->mutex);
    return state_->open;
}

ProgressWindow::RunResult ProgressWindow::run(
    std::function<int()> work, std::chrono::milliseconds pause_before_close)
{
    struct Outcome {
        std::mutex mutex;
        bool finished = false;
        int status = 1;
    };
    auto outcome = std::make_shared<Outcome>();
    std::shared_ptr<WindowState> state = state_;
    if (state->window)
        gtk_widget_show_all(state->window);
    std::thread worker([work = std::move(work), outcome, state, pause_before_close] {
        int status = work();
        {
            std::lock_guard lock(outcome->mutex);
            outcome->finished = true;
            outcome->status = status;
        }
        std::unique_lock lock(state->mutex);
        bool closed
            = state->changed.wait_for(lock, pause_before_close, [&] { return !state->open; });
        lock.unlock();
        if (!closed)
            close_window(state);
    });
    if (is_open())
        gtk_main();
    std::lock_guard lock(outcome->mutex);
    if (!outcome->finished) {
        // The user closed the window mid-action; the process ends without waiting for it.
        worker.detach();
        return { 1, true };
    }
    worker.join();
    return { outcome->status, false };
}

_GtkWidget* ProgressWindow::window_widget() const
{
    return state_->window;
}
_GtkWidget* ProgressWindow::log_view() const
{
    return state_->log_view;
}
_GtkWidget* ProgressWindow::progress_bar() const
{
    return state_->progress_bar;
}
_GtkWidget* ProgressWindow::copy_menu_item() const
{
    return state_->copy_item;
}

} // namespace kovru
