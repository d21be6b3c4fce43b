mkdir sum_0002.xvg
