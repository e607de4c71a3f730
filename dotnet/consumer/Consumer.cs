// SPDX-License-Identifier: MIT
// A program built against the packaged assembly alone: what a NuGet user
// writes first.
using System;
using Leafturn;

static class Consumer
{
    static int Main(string[] args)
    {
        string input = args[0], output = args[1];
        try
        {
            int pages = Pdf.PageCount(input);
            Pdf.RotateAll(input, output, 90);
            Console.WriteLine("pages " + pages + ", page 1 now at " + Pdf.GetRotation(output, 1));
            Pdf.GetRotation(input, pages + 1);
            return 1;
        }
        catch (LeafturnException e)
        {
            Console.WriteLine("error: " + e.Message);
            return 0;
        }
    }
}
