#pragma once

// Results of the start screen.
constexpr int kStartInstall = 1000;
constexpr int kStartDeploy = 1001;
constexpr int kStartCancel = 2;

// Offers the start screen when the HTML engine lies beside the program and the ini wants it;
// answers kStartInstall without showing anything otherwise.
int ShowStartScreen();
