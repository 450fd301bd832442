#include "cli/log/log.h"
#include "cli/log/progress_window.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kovru {
namespace {

struct ShownLine {
    std::string text;
    std::string colour;

    bool operator==(const ShownLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ShownLine& line)
{
    return out << '"' << line.text << "\" " << line.colour;
}

std::string colour_at(const GtkTextIter& iter)
{
    std::string colour = "none";
    GSList* tags = gtk_text_iter_get_tags(&iter);
    for (GSList* item = tags; item; item = item->next) {
        GdkRGBA* rgba = nullptr;
        g_object_get(item->data, "foreground-rgba", &rgba, nullptr);
        if (!rgba)
            continue;
        char text[16];
        std::snprintf(text, sizeof text, "%d,%d,%d", static_cast<int>(rgba->red * 255 + 0.5),
            static_cast<int>(rgba->green * 255 + 0.5), static_cast<int>(rgba->blue * 255 + 0.5));
        colour = text;
        gdk_rgba_free(rgba);
    }
    g_slist_free(tags);
    return colour;
}

// The log's lines from top to bottom without their time stamps, with the colour each starts in.
std::vector<ShownLine> shown_lines(ProgressWindow& window)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(window.log_view()));
    std::vector<ShownLine> lines;
    for (int number = 0; number < gtk_text_buffer_get_line_count(buffer); ++number) {
        GtkTextIter start, end;
        gtk_text_buffer_get_iter_at_line(buffer, &start, number);
        end = start;
        if (gtk_text_iter_is_end(&start))
            break;
        gtk_text_iter_forward_to_line_end(&end);
        gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
        lines.push_back({ text, colour_at(start) });
        g_free(text);
    }
    return lines;
}

std::string without_stamp(const std::string& line)
{
    return line.size() >= 24 ? line.substr(24) : line;
}

std::string log_text(ProgressWindow& window)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(window.log_view()));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string copy(text);
    g_free(text);
    return copy;
}

// Runs body on a worker thread while the window thread keeps handling the hand-offs.
void on_worker(const std::function<void()>& body)
{
    std::atomic<bool> done = false;
    std::thread worker([&] {
        body();
        done = true;
        g_main_context_wakeup(nullptr);
    });
    while (!done)
        g_main_context_iteration(nullptr, TRUE);
    worker.join();
}

double fraction(ProgressWindow& window)
{
    return gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(window.progress_bar()));
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = ProgressWindow::open();
        ASSERT_TRUE(window_) << "no display";
        set_log_sink(window_.get());
    }
    void TearDown() override { set_log_sink(nullptr); }

    std::unique_ptr<ProgressWindow> window_;
};

TEST_F(ProgressWindowTest, HasItsTitleSizeAndMenuItem)
{
    GtkWindow* window = GTK_WINDOW(window_->window_widget());
    EXPECT_STREQ(gtk_window_get_title(window), "Please wait...");
    int width = 0, height = 0;
    gtk_window_get_default_size(window, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_STREQ(
        gtk_menu_item_get_label(GTK_MENU_ITEM(window_->copy_menu_item())), "Copy log to clipboard");
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(window_->log_view())));
    EXPECT_EQ(fraction(*window_), 0.0);
}

TEST_F(ProgressWindowTest, NewestLineFirstInTheColourOfItsKind)
{
    on_worker([] {
        log_plain("A");
        log_success("B");
        log_warning("C");
        log_error("D %d", 4);
    });
    std::vector<ShownLine> lines = shown_lines(*window_);
    ASSERT_EQ(lines.size(), 4u);
    for (ShownLine& line : lines)
        line.text = without_stamp(line.text);
    EXPECT_EQ(lines,
        (std::vector<ShownLine> {
            { "D 4", "255,0,0" }, { "C", "255,128,0" }, { "B", "0,128,0" }, { "A", "0,0,0" } }));
    // Each line carries its own "YYYY-MM-DD hh:mm:ss.mmm " stamp.
    std::string first = shown_lines(*window_)[0].text;
    EXPECT_TRUE(g_regex_match_simple("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} D 4$",
        first.c_str(), G_REGEX_DEFAULT, G_REGEX_MATCH_DEFAULT))
        << first;
}

TEST_F(ProgressWindowTest, AMessageEndingInALineFeedGetsNoSecondBreak)
{
    log_plain("one\n");
    log_plain("two");
    std::string text = log_text(*window_);
    EXPECT_NE(text.find(" two\r\n"), std::string::npos);
    EXPECT_NE(text.find(" one\n"), std::string::npos);
    EXPECT_EQ(text.find("one\n\r\n"), std::string::npos);
    EXPECT_EQ(shown_lines(*window_).size(), 2u);
}

TEST_F(ProgressWindowTest, InvalidUtf8IsShownReplacedNotDropped)
{
    log_warning("name \xFF\xC3 end");
    std::vector<ShownLine> lines = shown_lines(*window_);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(without_stamp(lines[0].text), "name \uFFFD\uFFFD end");
    EXPECT_EQ(lines[0].colour, "255,128,0");
}

TEST_F(ProgressWindowTest, ProgressBarFollowsClampedProgress)
{
    on_worker([] { set_progress(42); });
    EXPECT_DOUBLE_EQ(fraction(*window_), 0.42);
    on_worker([] { set_progress(150); });
    EXPECT_DOUBLE_EQ(fraction(*window_), 1.0);
    on_worker([] { set_progress(-5); });
    EXPECT_DOUBLE_EQ(fraction(*window_), 0.0);
    window_->set_progress(250);
    EXPECT_DOUBLE_EQ(fraction(*window_), 1.0);
}

TEST_F(ProgressWindowTest, CopyMenuItemPutsTheLogOnTheClipboard)
{
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, "before", -1);
    gtk_menu_item_activate(GTK_MENU_ITEM(window_->copy_menu_item()));
    gchar* unchanged = gtk_clipboard_wait_for_text(clipboard);
    EXPECT_STREQ(unchanged, "before");
    g_free(unchanged);

    log_success("first");
    log_error("second");
    gtk_menu_item_activate(GTK_MENU_ITEM(window_->copy_menu_item()));
    gchar* copied = gtk_clipboard_wait_for_text(clipboard);
    ASSERT_TRUE(copied);
    // The X clipboard hands text out with plain line feeds.
    std::string expected = log_text(*window_);
    for (std::size_t at = expected.find("\r\n"); at != std::string::npos;
         at = expected.find("\r\n", at))
        expected.erase(at, 1);
    EXPECT_EQ(std::string(copied), expected);
    EXPECT_NE(expected.find(" second\n"), std::string::npos);
    g_free(copied);
}

TEST_F(ProgressWindowTest, OldestLinesDropOffPastTheTextLimit)
{
    for (int number = 0; number < 400; ++number)
        log_plain("line %03d", number);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(window_->log_view()));
    EXPECT_LE(gtk_text_buffer_get_char_count(buffer), ProgressWindow::kTextLimit);
    std::vector<ShownLine> lines = shown_lines(*window_);
    EXPECT_EQ(without_stamp(lines.front().text), "line 399");
    EXPECT_EQ(without_stamp(lines.back().text).substr(0, 5), "line ");
}

TEST_F(ProgressWindowTest, ProgressBarStaysTwentyPixelsHighAtTheBottom)
{
    GtkWidget* window = window_->window_widget();
    gtk_widget_show_all(window);
    gtk_window_resize(GTK_WINDOW(window), 500, 300);
    while (gtk_widget_get_allocated_height(window) != 300 || gtk_events_pending())
        gtk_main_iteration();
    GtkAllocation bar {};
    gtk_widget_get_allocation(window_->progress_bar(), &bar);
    EXPECT_EQ(bar.height, 20);
    EXPECT_EQ(bar.y + bar.height, 300);
    EXPECT_EQ(bar.width, 500);
}

TEST_F(ProgressWindowTest, RunReturnsTheWorkersStatusAndClosesTheWindow)
{
    ProgressWindow::RunResult result = window_->run(
        [] {
            log_success("working");
            set_progress(100);
            return 2;
        },
        std::chrono::milliseconds(0));
    EXPECT_EQ(result.status, 2);
    EXPECT_FALSE(result.closed_early);
    EXPECT_FALSE(window_->is_open());
    // Once closed, logging still reaches standard output and returns at once.
    log_plain("after the window");
}

TEST_F(ProgressWindowTest, ClosingTheWindowMidActionEndsWithFailure)
{
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    g_idle_add(
        [](gpointer data) {
            gtk_window_close(GTK_WINDOW(static_cast<ProgressWindow*>(data)->window_widget()));
            return G_SOURCE_REMOVE;
        },
        window_.get());
    ProgressWindow::RunResult result = window_->run(
        [release, finished] {
            while (!*release)
                std::this_thread::yield();
            *finished = true;
            return 0;
        },
        std::chrono::milliseconds(0));
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.closed_early);
    EXPECT_FALSE(window_->is_open());
    *release = true;
    while (!*finished)
        std::this_thread::yield();
}

TEST_F(ProgressWindowTest, ClosingDuringThePauseKeepsTheActionsStatus)
{
    std::atomic<bool> worked = false;
    ProgressWindow* window = window_.get();
    ProgressWindow::RunResult result = window_->run(
        [&worked, window] {
            worked = true;
            // The user closes the window while it waits out its pause.
            g_idle_add(
                [](gpointer data) {
                    gtk_window_close(
                        GTK_WINDOW(static_cast<ProgressWindow*>(data)->window_widget()));
                    return G_SOURCE_REMOVE;
                },
                window);
            return 0;
        },
        std::chrono::hours(1));
    EXPECT_TRUE(worked);
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.closed_early);
}

} // namespace
} // namespace kovru
