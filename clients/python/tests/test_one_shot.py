"""Listing, installing and releasing locales through the library, against a
loopback catalog in a throwaway home; asyncio and blocking."""

import unittest

from .support import CATALOG_LOCALE, CatalogHome

from earshot_client import EarshotError, blocking, install, list_locales, release


class OneShotTest(unittest.IsolatedAsyncioTestCase):
    async def test_install_reports_rising_progress_then_the_locale_is_installed_and_released(self):
        with CatalogHome() as home:
            before = await list_locales(env=home.env)
            self.assertEqual(sorted(before.supported), sorted(["en-US", CATALOG_LOCALE]))
            self.assertEqual((before.installed, before.reserved), (["en-US"], []))

            fractions = []
            installed = await install(CATALOG_LOCALE.replace("-", "_"), fractions.append,
                                      env=home.env)
            self.assertEqual(installed, CATALOG_LOCALE)
            self.assertGreaterEqual(len(fractions), 3, fractions)
            self.assertTrue(any(0 < f < 1 for f in fractions), fractions)
            self.assertEqual(fractions[-1], 1)
            self.assertEqual(sorted(fractions), fractions, "never goes back")

            now = await list_locales(env=home.env)
            self.assertEqual(sorted(now.installed), sorted(["en-US", CATALOG_LOCALE]))
            self.assertEqual(now.reserved, [CATALOG_LOCALE])
            self.assertGreater(now.max_reserved, 0)

            self.assertIs(await release(CATALOG_LOCALE, env=home.env), True)
            self.assertIs(await release(CATALOG_LOCALE, env=home.env), False)
            self.assertEqual((await list_locales(env=home.env)).reserved, [])

    async def test_a_locale_no_catalog_lists_fails_install_with_earshots_text(self):
        with CatalogHome(with_catalog=False) as home:
            progress = []
            with self.assertRaises(EarshotError) as caught:
                await install("xx-YY", progress.append, env=home.env)
            self.assertEqual(str(caught.exception),
                             "Apple Speech does not support language xx-YY.")
            self.assertEqual(progress, [])


class BlockingOneShotTest(unittest.TestCase):
    def test_the_blocking_functions_give_the_same_answers(self):
        with CatalogHome() as home:
            self.assertEqual(blocking.list_locales(env=home.env).installed, ["en-US"])
            fractions = []
            self.assertEqual(blocking.install(CATALOG_LOCALE, fractions.append, env=home.env),
                             CATALOG_LOCALE)
            self.assertEqual(fractions[-1], 1)
            self.assertIs(blocking.release(CATALOG_LOCALE, env=home.env), True)
            with self.assertRaisesRegex(EarshotError, "^Apple Speech does not support language"):
                blocking.release("xx-YY", env=home.env)


if __name__ == "__main__":
    unittest.main()
