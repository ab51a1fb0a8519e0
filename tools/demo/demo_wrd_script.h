// The demo song's WRD script: lyrics and text over about 90 seconds, with
// drawing and palette commands. Shared by the demo generator and the tests
// that check how its text is drawn.
#pragma once

#include <string>
#include <vector>

namespace sonfara::demo {

// The demo presentation, one UTF-8 line each (the file is CP932, CR LF).
inline std::vector<std::string> DemoWrdScript() {
    return {
        "@STARTUP",
        "@WMODE(23);",
        "@WAIT(1);",
        "@MAG(sonfara-title.mag);",
        "@COLOR(37);",
        "@LOCATE(31,2);",
        "Sonfara  Demo;",
        "@COLOR(33);",
        "@LOCATE(27,4);",
        "ソンファラ・デモ曲へようこそ;",
        "@WAIT(5);",
        "@WMODE(11,1);",
        "@COLOR(36);",
        "\x1b[20;6f"
        "Hello, this is Sonfara.",
        "@WAIT(9);",
        "@TCLS(1,20,80,22);",
        "\x1b[20;6f"
        "歌詞は一文字ずつ流れます。",
        "@WAIT(13);",
        "@WMODE(23,0);",
        "@TCLS(1,20,80,22);",
        "@COLOR(32);",
        "@LOCATE(6,21);",
        "Lines and circles|, drawn on page 0|",
        "@WAIT(15);",
        "@GLINE(40,300,600,300,15,0,0);",
        "@GLINE(80,310,560,390,7,1,0);",
        "@GCIRCLE(320,350,30,15,2,5);",
        "@WAIT(19);",
        "@PAL(#1,000,00F,F00,F0F,0F0,0FF,FF0,FFF,888,008,800,808,080,088,880,CCC)",
        "@FADE(0,1,0);",
        "@TCLS(0,0,0,0);",
        "@COLOR(35);",
        "\x1b[21;6f"
        "色の表が切り替わりました。",
        "@WAIT(23);",
        "@TCLS(0,0,0,0);",
        "@WMODE(11,1);",
        "@COLOR(37);",
        "\x1b[20;6f"
        "Thank you for listening,",
        "@WAIT(27);",
        "\x1b[21;6f"
        "and enjoy your MIDI songs!",
        "@WAIT(33);",
        "@WMODE(23,0);",
        "@TON(0);",
        "@WAIT(35);",
        "@TCLS(0,0,0,0);",
        "@TON(1);",
        "@COLOR(33);",
        "@LOCATE(36,12);",
        "♪  ♪  ♪;",
        "@WAIT(41);",
        "@GON(0);",
        "@END();",
        "@GON(1);",
        "@TCLS(0,0,0,0);",
        "@LOCATE(37,12);",
        "おわり;",
    };
}

}  // namespace sonfara::demo
