#include "net/update_base.h"

#include <gtest/gtest.h>

#include <string>

#include "base/utf.h"
#include "tests/expect_ok.h"

namespace nelo {
namespace {

struct BaseCase {
  std::string url;
  std::string message;  // empty: accepted
  bool secure = true;
  std::string host;
  int port = 0;
  std::string base_path;
};

BaseCase refused(std::string url, std::string message) {
  BaseCase c;
  c.url = std::move(url);
  c.message = std::move(message);
  return c;
}

class UpdateBaseTest : public testing::TestWithParam<BaseCase> {};

TEST_P(UpdateBaseTest, SplitsTheUrl) {
  const BaseCase& c = GetParam();
  const auto base = parse_update_base(c.url);
  if (!c.message.empty()) {
    ASSERT_FALSE(base.ok()) << c.url;
    EXPECT_EQ(base.message(), c.message) << c.url;
    return;
  }
  ASSERT_OK(base) << c.url << ": " << base.message();
  EXPECT_EQ(base->secure, c.secure);
  EXPECT_EQ(base->host, c.host);
  EXPECT_EQ(base->port, c.port);
  EXPECT_EQ(base->base_path, c.base_path);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UpdateBaseTest,
    testing::Values(BaseCase{"https://updates.example/", "", true, "updates.example", 443, "/"},
                    BaseCase{"https://updates.example", "", true, "updates.example", 443, "/"},
                    BaseCase{"http://127.0.0.1:8080/", "", false, "127.0.0.1", 8080, "/"},
                    BaseCase{"http://h/sub", "", false, "h", 80, "/sub"},
                    BaseCase{"http://h/sub/", "", false, "h", 80, "/sub/"},
                    BaseCase{"https://h/a?b#c/d", "", true, "h", 443, "/a?b#c/d"},
                    BaseCase{"https://h:+443/", "", true, "h", 443, "/"},
                    BaseCase{"https://h:0/", "", true, "h", 0, "/"},
                    BaseCase{"https://h:65535", "", true, "h", 65535, "/"},
                    BaseCase{"https://h:00080/", "", true, "h", 80, "/"},
                    BaseCase{"https://", "", true, "", 443, "/"},
                    BaseCase{"https:///x", "", true, "", 443, "/x"}, refused("", "endereço"),
                    refused("HTTPS://h/", "endereço"), refused("Http://h/", "endereço"),
                    refused("ftp://h/", "endereço"), refused(" https://h/", "endereço"),
                    refused("https:/h", "endereço"), refused("https://h:/", "porta"),
                    refused("https://h:", "porta"), refused("https://h:+/", "porta"),
                    refused("https://h:-/", "porta"), refused("https://h:-1/", "porta"),
                    refused("https://h:65536/", "porta"),
                    refused("https://h:99999999999999999999/", "porta"),
                    refused("https://h:80a/", "porta"), refused("https://h:++80/", "porta"),
                    refused("https://h: 80/", "porta"),
                    // A bracketed IPv6 address splits at its first ":".
                    refused("http://[::1]:8080/", "porta")));

TEST(ChooseUpdateBaseTest, TakesTheVariableOnlyWhenValid) {
  EXPECT_EQ(choose_update_base(u"http://h/"), u"http://h/");
  // Set but empty stays empty, so that the URL check refuses it.
  EXPECT_EQ(choose_update_base(u""), u"");
  const std::u16string fallback = choose_update_base(std::nullopt);
  std::u16string broken = u"http://h/";
  broken.push_back(char16_t{0xDC00});
  EXPECT_EQ(choose_update_base(broken), fallback);

  const auto base = parse_update_base(*utf16_to_utf8(fallback));
  ASSERT_OK(base);
  EXPECT_TRUE(base->secure);
  EXPECT_EQ(base->port, 443);
  EXPECT_EQ(base->base_path, "/");
  EXPECT_FALSE(base->host.empty());
}

}  // namespace
}  // namespace nelo
